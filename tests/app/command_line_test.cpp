// The program's command line, and starting without a display.
#include <sys/inotify.h>

#include "app/program_run.h"

using namespace testing_support;
using CommandLine = InTempDir;

TEST_F(CommandLine, OptionsAndAPictureToOpen) {
    savePicture(designedPicture(5, 9), "photo.jpg", "PNG");
    const std::string hint = "Try \"edgepipe --help\" for the options.\n";
    const std::string batchOnly = "edgepipe: --threshold, --output and --quiet go with --batch\n" + hint;
    const std::string threshold = "edgepipe: the threshold is a whole number from 0 to 255, not ";
    savePicture(designedPicture(5, 9), "b.png");
    // The arguments, the exit status, and patterns of standard output and standard error.
    for (const auto& [arguments, exitStatus, said, complained] :
         {std::tuple{QStringList{"--help"}, 0, "edgepipe --batch \\[--threshold T\\]", std::string()},
          {{"--version"}, 0, "^edgepipe \\d+\\.\\d+\\.\\d+\n$", ""},
          {{"--batch", "--threshold", "255", "b.png"},
           0,
           "^$",
           "\\[1/1\\] b\\.png: done in [0-9.]+ s, stage files in \\.\n1 picture: 1 done, 0 failed; its "
           "folder: \\.\n"},
          {{"--frobnicate", "--help"}, 2, "^$", "edgepipe: unknown option \"--frobnicate\"\n" + hint},
          {{"--threshold", "7", "b.png"}, 2, "^$", batchOnly},
          {{"--output=o", "b.png"}, 2, "^$", batchOnly},
          {{"--batch", "--threshold", "256", "b.png"}, 2, "^$", threshold + "\"256\"\n" + hint},
          {{"--batch", "--threshold=-1", "b.png"}, 2, "^$", threshold + "\"-1\"\n" + hint},
          {{"--batch", "--threshold", "1x", "b.png"}, 2, "^$", threshold + "\"1x\"\n" + hint},
          {{"--batch", "--threshold"}, 2, "^$", "edgepipe: --threshold needs a value\n" + hint},
          {{"--batch", "--output", "x"}, 2, "^$", "edgepipe: --batch needs at least one picture\n" + hint},
          {{"--batch", "--output", "", "b.png"},
           2,
           "^$",
           "edgepipe: --output needs a folder, not an empty name\n" + hint},
          {{"--batch", "--output", "b.png", "b.png"},
           2,
           "^$",
           "edgepipe: --output names a file, not a folder: b\\.png\n" + hint},
          {{"--batch", "--output", "b.png/o", "b.png"},
           1,
           "^$",
           "(?s).*failed: b\\.png/o: cannot make or open this folder \\(Not a directory\\).*"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const auto [status, out, err] = runEdgepipe({.arguments = arguments});
        EXPECT_EQ(status, exitStatus) << err;
        EXPECT_TRUE(matches(err, "^" + complained + "$")) << err;
        EXPECT_TRUE(matches(out, said)) << out;
    }

    // Qt takes its option's value (given with two dashes, as Qt allows), not a picture, and the first picture
    // is read; the window stays up until SIGTERM (or Ctrl-C or SIGHUP, the batch's signals), which ends it
    // also while a box is open (here the refusal of the picture).
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const int photoRead = ::inotify_add_watch(watch, "photo.jpg", IN_CLOSE_NOWRITE);
    ::inotify_add_watch(watch, "b.png", IN_CLOSE_NOWRITE);
    EXPECT_EQ(runEdgepipe({.arguments = {"--style", "fusion", "photo.jpg", "b.png"}, .upMs = 1000}),
              Ran(0, "", "edgepipe: opens one picture at a time; ignored: b.png\n"));
    inotify_event event{};
    EXPECT_EQ(::read(watch, &event, sizeof event), ssize_t{sizeof event}) << "photo.jpg was not read";
    EXPECT_EQ(event.wd, photoRead) << "b.png was read";
    ::close(watch);
}

// Without a display (or a screen), one line that says why; asked for a platform Qt has no plugin for, by
// -platform or QT_QPA_PLATFORM, two lines that name the ones Qt has. Status 1 either way.
TEST_F(CommandLine, WithoutADisplayOrPlatformOneLineOrTwoAndStatusOne) {
    const std::string noDisplay = "^edgepipe: no display to show the window on \\(";
    const std::string xvfb = "\\); [^\n]*xvfb-run edgepipe\n$";  // what to do instead, on the same line
    const std::string unknown = "^edgepipe: Qt has no platform plugin \"nosuch\" \\(asked for by ";
    const std::string known = "\\)\nedgepipe: the ones it has in \\S+: [a-z, -]*offscreen[a-z, -]*\n$";
    const std::string noScreen = noDisplay + "Qt's platform \"linuxfb:fb=/x\" could not start" + xvfb;
    for (const auto& [arguments, env, complained] :
         {std::tuple{QStringList{}, QStringList{"DISPLAY="}, noDisplay + "DISPLAY is not set" + xvfb},
          {{}, {"DISPLAY=", "QT_QPA_PLATFORM=xcb:foo"}, noDisplay + "DISPLAY is not set" + xvfb},  // options
          {{}, {"DISPLAY=:4711"}, noDisplay + "the X display \":4711\" cannot be opened" + xvfb},
          {{},  // in a Wayland session, X is tried when Qt has no Wayland plugin (or no compositor answers)
           {"DISPLAY=:4711", "XDG_SESSION_TYPE=wayland", "XDG_CURRENT_DESKTOP=KDE"},
           noDisplay + "WAYLAND_DISPLAY is not set, and the X display \":4711\" cannot be opened" + xvfb},
          {{"-platform", "nosuch"}, {}, unknown + "-platform" + known},
          {{}, {"QT_QPA_PLATFORM=nosuch"}, unknown + "QT_QPA_PLATFORM" + known},
          {{}, {"QT_QPA_PLATFORM=linuxfb:fb=/x"}, noScreen}}) {
        SCOPED_TRACE(complained);
        const auto [status, out, err] = runEdgepipe(
            {.arguments = arguments, .env = QStringList{"WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="} + env});
        EXPECT_EQ(std::pair(status, out), std::pair(1, std::string()));
        EXPECT_TRUE(matches(err, complained)) << err;
    }
}

// The language follows the locale: Taiwanese Chinese through LANG or LANGUAGE; English under C
// whatever LANGUAGE says (as in the C library), and under German, which edgepipe does not
// speak (nor its decimal comma: times keep their point). A batch failure line is the language's as a
// whole, with the reason of the failed system call in the C library's own translation.
TEST_F(CommandLine, TheLanguageFollowsTheLocale) {
    const bool available =
        std::setlocale(LC_MESSAGES, "zh_TW.UTF-8") && std::setlocale(LC_MESSAGES, "de_DE.UTF-8");
    std::setlocale(LC_MESSAGES, "");
    if (!available) GTEST_SKIP() << "no zh_TW or de_DE locale (locales-all has them)";
    savePicture(designedPicture(5, 9), "b.png");
    fs::create_symlink("loop.png", "loop.png");  // read through, it leads to itself
    const std::string chinese = "用法：edgepipe [圖檔]", english = "Usage: edgepipe [PICTURE]";
    const std::string failed = "\\[2/2\\] loop\\.png: failed: [^\n]*/loop\\.png: cannot read \\(";
    const std::string inChinese =
        "\\[2/2\\] loop\\.png：失敗：[^\n]*/loop\\.png：無法讀取（太多層級的符號連結檔）";
    for (const auto& [env, usage, failure] :
         {std::tuple{QStringList{"LC_ALL=", "LANG=zh_TW.UTF-8"}, chinese, inChinese},
          {{"LC_ALL=", "LANG=de_DE.UTF-8", "LANGUAGE=zh_TW:de"}, chinese, inChinese},
          {{"LC_ALL=C", "LANGUAGE=zh_TW"}, english, failed + "Too many levels of symbolic links\\)"},
          {{"LC_ALL=", "LANG=de_DE.UTF-8"}, english, failed + "Zu viele Ebenen aus symbolischen Links\\)"}}) {
        SCOPED_TRACE(env.join(' ').toStdString());
        const std::string help = std::get<1>(runEdgepipe({.arguments = {"--help"}, .env = env}));
        EXPECT_EQ(help.substr(0, help.find('\n')), usage);
        const std::string err =
            std::get<2>(runEdgepipe({.arguments = {"--batch", "b.png", "loop.png"}, .env = env}));
        EXPECT_TRUE(matches(err, "(?s) [0-9]\\.[0-9]{2} .*\n" + failure + "\n")) << err;
    }
}
