#include <QScrollBar>

#include "app/window_fixture.h"

using namespace testing_support;

namespace {

class Pipeline : public WindowTest {
protected:
    void moveThresholdTo(int position) { static_cast<QScrollBar*>(form->ScrollBar1->widget())->setValue(position); }
};

}  // namespace

// LOAD, 灰階, 濾波, SOBEL through real clicks; each stage file against a slow computation.
TEST_F(Pipeline, WholePipelineWritesTheThreeStageFiles) {
    const Pixels picture = designedPicture(23, 17);
    load(savePicture(picture, "photo.png"));
    EXPECT_EQ(source(), picture);
    EXPECT_TRUE(form->Image1->Stretch());

    click(form->Button4);
    const Pixels grey = referenceLumaPicture(picture);
    EXPECT_EQ(parseStageFile(dir() / "A.bmp"), grey);
    EXPECT_EQ(result(), grey);
    EXPECT_TRUE(form->Image2->Stretch());

    click(form->Button5);
    const Pixels smooth = referenceMedian5(picture);  // from the source picture, not from A.bmp
    EXPECT_EQ(parseStageFile(dir() / "B.bmp"), smooth);
    EXPECT_EQ(result(), smooth);

    click(form->Button1);
    const Pixels edges = referenceEdges(smooth, 128);
    EXPECT_EQ(parseStageFile(dir() / "C.bmp"), edges);
    EXPECT_EQ(result(), edges);
    EXPECT_EQ(form->Edit1->Text(), "128");
    EXPECT_TRUE(prompts->messages.empty());
    EXPECT_TRUE(prompts->errors.empty());
    EXPECT_EQ(source(), picture) << "no operation writes to the source view";
}

TEST_F(Pipeline, ThresholdPreviewDrawsTheSourceEdgesAndSobelThenWorksOnThem) {
    const Pixels picture = designedPicture(19, 12);
    load(savePicture(picture));
    click(form->Button4);
    click(form->Button5);
    const auto smoothFile = readFileBytes(dir() / "B.bmp");

    moveThresholdTo(200);
    EXPECT_EQ(form->Edit1->Text(), "200");
    EXPECT_EQ(result(), referenceEdges(picture, 200)) << "edges of the source, not of the smoothed picture";
    EXPECT_EQ(readFileBytes(dir() / "B.bmp"), smoothFile);
    EXPECT_FALSE(exists("C.bmp")) << "a preview writes no file";

    click(form->Button1);
    EXPECT_EQ(parseStageFile(dir() / "C.bmp"), referenceEdges(referenceEdges(picture, 200), 200));
}

TEST_F(Pipeline, PreviewKeepsTheResultViewsStretchAndShowsNoMessage) {
    moveThresholdTo(10);
    EXPECT_FALSE(form->Image2->Stretch());
    EXPECT_TRUE(form->Image2->Picture->Bitmap().Empty());
    EXPECT_EQ(form->Edit1->Text(), "10");
    EXPECT_TRUE(prompts->messages.empty());
    EXPECT_TRUE(prompts->errors.empty());

    load(savePicture(designedPicture(40, 30)));
    moveThresholdTo(60);
    EXPECT_FALSE(form->Image2->Stretch()) << "the preview leaves stretch as it was";
    EXPECT_EQ(result(), referenceEdges(designedPicture(40, 30), 60));
}

TEST_F(Pipeline, GreyWithNoPictureWarnsTwiceAndWritesAnEmptyStageFile) {
    click(form->Button4);
    EXPECT_EQ(prompts->messages, (std::vector<std::string>{"請載入圖檔!!", "請載入圖檔!!"}));
    EXPECT_EQ(readFileBytes(dir() / "A.bmp").size(), 54u);
    EXPECT_TRUE(form->Image2->Picture->Bitmap().Empty());
    EXPECT_TRUE(form->Image2->Stretch());

    // The empty A.bmp then fails the filter's precondition with a clear message.
    click(form->Button5);
    EXPECT_EQ(prompts->errors, std::vector<std::string>{"A.bmp: empty picture (0 x 0 pixels)"});
    EXPECT_FALSE(exists("B.bmp"));
}

TEST_F(Pipeline, FilterNeedsAReadableGreyStageFile) {
    load(savePicture(designedPicture(9, 9)));
    form->Image2->Picture->Assign(toBitmap(Pixels(3, 3, {1, 2, 3})));
    click(form->Button5);
    EXPECT_EQ(prompts->errors, std::vector<std::string>{"A.bmp: no such file"});
    EXPECT_EQ(result(), Pixels(3, 3, {1, 2, 3}));
    EXPECT_FALSE(form->Image2->Stretch());
    EXPECT_FALSE(exists("B.bmp"));

    // An A.bmp left by an earlier run, of another picture, is enough.
    platform::TPicture earlier;
    earlier.Assign(toBitmap(randomPixels(4, 7, 1)));
    earlier.SaveToFile("A.bmp");
    click(form->Button5);
    EXPECT_EQ(prompts->errors.size(), 1u);
    EXPECT_EQ(parseStageFile(dir() / "B.bmp"), referenceMedian5(designedPicture(9, 9)));
}

TEST_F(Pipeline, FilterWithNoPictureWarnsThenWritesAnEmptyResult) {
    platform::TPicture earlier;
    earlier.Assign(toBitmap(randomPixels(4, 4, 1)));
    earlier.SaveToFile("A.bmp");
    click(form->Button5);
    EXPECT_EQ(prompts->messages, std::vector<std::string>{"請載入圖檔!!"});
    EXPECT_TRUE(prompts->errors.empty());
    EXPECT_EQ(readFileBytes(dir() / "B.bmp").size(), 54u);
    EXPECT_TRUE(form->Image2->Picture->Bitmap().Empty());
}

TEST_F(Pipeline, SobelNeedsAReadableSmoothStageFile) {
    load(savePicture(designedPicture(9, 9)));
    click(form->Button4);
    const Pixels shown = result();
    click(form->Button1);
    EXPECT_EQ(prompts->errors, std::vector<std::string>{"B.bmp: no such file"});
    EXPECT_EQ(form->Edit1->Text(), "") << "the read-out changes only once the precondition holds";
    EXPECT_EQ(result(), shown);
    EXPECT_FALSE(exists("C.bmp"));
}

TEST_F(Pipeline, SobelOnAnEmptyResultViewWritesAnEmptyEdgeMap) {
    load(savePicture(designedPicture(9, 9)));
    platform::TPicture earlier;
    earlier.Assign(toBitmap(randomPixels(4, 4, 1)));
    earlier.SaveToFile("B.bmp");
    click(form->Button1);
    EXPECT_TRUE(prompts->errors.empty());
    EXPECT_EQ(readFileBytes(dir() / "C.bmp").size(), 54u);
    EXPECT_TRUE(form->Image2->Picture->Bitmap().Empty());
    EXPECT_EQ(form->Edit1->Text(), "128");
}

TEST_F(Pipeline, CancelledLoadChangesNothingAndShowsNothing) {
    load(std::nullopt);
    EXPECT_TRUE(form->Image1->Picture->Bitmap().Empty());
    EXPECT_FALSE(form->Image1->Stretch());
    const Pixels picture = designedPicture(5, 4);
    load(savePicture(picture));
    load(std::nullopt);
    EXPECT_EQ(source(), picture);
    EXPECT_TRUE(form->Image1->Stretch());
    EXPECT_EQ(prompts->dialogsOpened, 3);
    EXPECT_TRUE(prompts->errors.empty());
    EXPECT_TRUE(prompts->messages.empty());
}
