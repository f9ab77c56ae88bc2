#include "app/window_fixture.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class Failures : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        load(savePicture(picture));
        ASSERT_EQ(source(), picture);
    }
    // The source view still holds the picture loaded first, still stretched.
    void expectSourceUnchanged() {
        EXPECT_EQ(source(), picture);
        EXPECT_TRUE(form->Image1->Stretch());
    }
    // Every button still works: the whole pipeline runs.
    void expectWindowStillWorks() {
        prompts->errors.clear();
        click(form->Button4);
        click(form->Button5);
        click(form->Button1);
        EXPECT_TRUE(prompts->errors.empty()) << prompts->errors.front();
        EXPECT_EQ(parseStageFile(dir() / "C.bmp"), referenceEdges(referenceMedian5(picture), 128));
    }

    const Pixels picture = designedPicture(11, 7);
};

}  // namespace

TEST_F(Failures, CancelledLoadChangesNothingAndShowsNothing) {
    load(std::nullopt);
    expectSourceUnchanged();
    EXPECT_TRUE(prompts->errors.empty());
    EXPECT_TRUE(prompts->messages.empty());
}

TEST_F(Failures, UnloadablePicturesAreShownAndLeaveTheSourceView) {
    writeFileBytes("broken.png", {0x89, 'P', 'N', 'G', 1, 2, 3});
    writeFileBytes("notes.txt", {'h', 'i'});
    fs::create_directory("folder.bmp");
    struct Case {
        std::string file;
        std::string message;
    };
    for (const Case& c : {Case{"notes.txt", "notes.txt: unknown picture kind \".txt\""},
                          Case{"missing.bmp", "missing.bmp: no such file"},
                          Case{"folder.bmp", "folder.bmp: is a directory, not a picture"},
                          Case{"broken.png", "broken.png: cannot read as a PNG picture"}}) {
        prompts->errors.clear();
        load((dir() / c.file).string());
        ASSERT_EQ(prompts->errors.size(), 1u) << c.file;
        EXPECT_EQ(prompts->errors[0].rfind((dir() / c.message).string(), 0), 0u) << prompts->errors[0];
        expectSourceUnchanged();
    }
    expectWindowStillWorks();
}

TEST_F(Failures, CancelledFirstLoadLeavesTheSourceViewEmpty) {
    form = std::make_unique<TForm1>();
    load(std::nullopt);
    EXPECT_TRUE(form->Image1->Picture->Bitmap().Empty());
    EXPECT_FALSE(form->Image1->Stretch());
    EXPECT_TRUE(prompts->errors.empty());
}

TEST_F(Failures, DirectoryInPlaceOfTheGreyStageFile) {
    fs::create_directory("A.bmp");
    click(form->Button4);
    EXPECT_EQ(prompts->errors, std::vector<std::string>{"A.bmp: cannot write (Is a directory)"});
    EXPECT_EQ(result(), referenceLumaPicture(picture)) << "the result is shown before the save fails";
    EXPECT_TRUE(fs::is_directory("A.bmp"));

    click(form->Button5);
    EXPECT_EQ(prompts->errors.back(), "A.bmp: is a directory, not a picture");
    EXPECT_FALSE(exists("B.bmp"));
    expectSourceUnchanged();

    fs::remove("A.bmp");
    expectWindowStillWorks();
}

TEST_F(Failures, GreyStageFileReplacedByJunkBetweenPresses) {
    click(form->Button4);
    writeFileBytes("A.bmp", {'B', 'M', 0, 0});
    click(form->Button5);
    ASSERT_EQ(prompts->errors.size(), 1u);
    EXPECT_EQ(prompts->errors[0].rfind("A.bmp: cannot read as a BMP picture", 0), 0u) << prompts->errors[0];
    EXPECT_EQ(result(), referenceLumaPicture(picture));
    EXPECT_FALSE(exists("B.bmp"));
    expectWindowStillWorks();
}
