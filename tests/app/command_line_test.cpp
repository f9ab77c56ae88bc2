// The program's command line, pictures dropped on the window, and starting without a display.
#include <QDropEvent>
#include <QMimeData>

#include "app/program_run.h"
#include "platform/application.h"

using namespace testing_support;
using CommandLine = InTempDir;

TEST_F(CommandLine, OptionsAndAPictureToOpen) {
    const std::string bad = savePicture(designedPicture(5, 9), "photo.jpg", "PNG");
    const std::string hint = "Try \"edgepipe --help\" for the options.\n";
    const std::string batchOnly = "edgepipe: --threshold, --output and --quiet go with --batch\n" + hint;
    const std::string threshold = "edgepipe: the threshold is a whole number from 0 to 255, not ";
    savePicture(designedPicture(5, 9), "b.png");
    struct Case {
        QStringList arguments;
        int status;
        const char* out;  // a pattern
        std::string err;
    };
    for (const Case& c :
         {Case{{"--help"}, 0, "edgepipe --batch \\[--threshold T\\]", ""},
          {{"-style", "fusion", "--version"}, 0, "^edgepipe \\d+\\.\\d+\\.\\d+\n$", ""},
          {{"-style", "fusion", "b.png"}, 0, "^$", ""},  // Qt takes the option's value, not the picture
          {{"--frobnicate", "--help"}, 2, "^$", "edgepipe: unknown option \"--frobnicate\"\n" + hint},
          {{"--threshold", "7", "b.png"}, 2, "^$", batchOnly},
          {{"--output=o", "b.png"}, 2, "^$", batchOnly},
          {{"--batch", "--threshold", "256", "b.png"}, 2, "^$", threshold + "\"256\"\n" + hint},
          {{"--batch", "--threshold=-1", "b.png"}, 2, "^$", threshold + "\"-1\"\n" + hint},
          {{"--batch", "--threshold", "1x", "b.png"}, 2, "^$", threshold + "\"1x\"\n" + hint},
          {{"--batch", "--threshold"}, 2, "^$", "edgepipe: --threshold needs a value\n" + hint},
          {{"--batch", "--output", "x"}, 2, "^$", "edgepipe: --batch needs at least one picture\n" + hint},
          // Refused in a box, not on the terminal; the window stays up until SIGTERM.
          {{"photo.jpg", "b.png"}, 0, "^$", "edgepipe: opens one picture at a time; ignored: b.png\n"}}) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const auto [status, out, err] = runEdgepipe({.arguments = c.arguments, .upMs = 1000});
        EXPECT_EQ(std::pair(status, err), std::pair(c.status, c.err));
        EXPECT_TRUE(matches(out, c.out)) << out;
    }

    // In the window, the given picture loads once the window is up, so a refusal shows over it.
    bool shownWhenRefused = false;
    scriptPrompts().onError = [&] {
        shownWhenRefused = Form1->window()->isVisible();
        Form1->Close();
    };
    platform::Application->CreateForm(Form1);
    platform::Application->Run([&] { Form1->OpenPicture(bad); });
    EXPECT_TRUE(shownWhenRefused);
}

// A dropped local file opens as LOAD opens it (the first of several); anything else is refused.
TEST_F(CommandLine, DropsOfFilesOnTheWindow) {
    const auto url = [](const std::string& file) {
        return QUrl::fromLocalFile(QString::fromStdString(file));
    };
    const QUrl five = url(savePicture(designedPicture(5, 9), "five.png"));
    const QUrl seven = url(savePicture(designedPicture(7, 9), "seven.bmp"));
    TForm1 form;
    ScriptedPrompts& prompts = scriptPrompts();
    struct Case {
        QList<QUrl> urls;  // none: a text is dropped
        bool accepted;
        int width;
    };
    for (const Case& c : {Case{{five}, true, 5},
                          {{seven, five}, true, 7},
                          {{QUrl("https://example.org/five.png")}, false, 7},
                          {{}, false, 7}}) {
        SCOPED_TRACE(c.urls.empty() ? "text" : c.urls.front().toString().toStdString());
        QMimeData data;
        if (c.urls.empty())
            data.setText("five.png");
        else
            data.setUrls(c.urls);
        QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.client(), &enter);
        QApplication::sendEvent(form.client(), &drop);
        QApplication::processEvents();
        EXPECT_EQ(enter.isAccepted(), c.accepted);
        EXPECT_EQ(drop.isAccepted(), c.accepted);
        EXPECT_EQ(form.Image1->Picture->Bitmap().Width(), c.width);
    }
    EXPECT_EQ(prompts.said, std::vector<std::string>());
}

TEST_F(CommandLine, WithoutADisplayOneLineAndStatusOne) {
    struct Case {
        QStringList env;
        std::string reason;
    };
    for (const Case& c : {Case{{"DISPLAY", "WAYLAND_DISPLAY"}, "DISPLAY is not set"},
                          {{"DISPLAY=:4711", "WAYLAND_DISPLAY"}, "the X display \":4711\" cannot be opened"},
                          {{"DISPLAY=", "WAYLAND_DISPLAY=wayland-9", "XDG_SESSION_TYPE=wayland"},
                           "the Wayland display \"wayland-9\" cannot be used, and DISPLAY is not set"}}) {
        SCOPED_TRACE(c.reason);
        EXPECT_EQ(runEdgepipe({.arguments = {}, .env = c.env + QStringList{"QT_QPA_PLATFORM"}}),
                  Ran(1, "",
                      "edgepipe: no display to show the window on (" + c.reason +
                          "); start it from a desktop session, or without a display: xvfb-run edgepipe\n"));
    }
}

// A platform Qt has no plugin for is named with the ones Qt has, whether -platform or
// QT_QPA_PLATFORM asked for it, rather than said to be a missing display.
TEST_F(CommandLine, UnknownPlatformNamedWithThePluginsQtHas) {
    for (const auto& [run, by] :
         {std::pair(testing_support::Run{.arguments = {"-platform", "nosuch"}}, "-platform"),
          {testing_support::Run{.arguments = {}, .env = {"QT_QPA_PLATFORM=nosuch"}}, "QT_QPA_PLATFORM"}}) {
        const auto [status, out, err] = runEdgepipe(run);
        EXPECT_EQ(status, 1) << by;
        EXPECT_TRUE(matches(
            err, std::string("^edgepipe: Qt has no platform plugin \"nosuch\" \\(asked for by ") + by +
                     "\\)\nedgepipe: the ones it has in /\\S+/platforms: [a-z, ]*offscreen[a-z, ]*\n$"))
            << err;
    }
}
