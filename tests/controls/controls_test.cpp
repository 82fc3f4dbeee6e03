// The bitmap slider's notices to its parent, control ids, and the message
// events (posted and sent).
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <vector>

#include "controls/bitmap_slider.h"
#include "controls/color_list_ctrl.h"
#include "controls/control_id.h"
#include "controls/message_event.h"
#include "controls/picture_button.h"

namespace controls {
namespace {

// A parent that records the messages it gets and answers sent ones.
class Recorder : public QWidget {
 public:
  struct Got {
    uint32_t message;
    intptr_t wParam, lParam;
  };
  std::vector<Got> got;

 protected:
  bool event(QEvent* e) override {
    if (ACMessageEvent* m = AsMessage(e)) {
      got.push_back({m->message(), m->wParam, m->lParam});
      m->result = m->wParam + m->lParam;
      return true;
    }
    return QWidget::event(e);
  }
};

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_.resize(300, 100);
    slider_ = new CBitmapSlider(1014, &parent_);
    slider_->setGeometry(10, 10, 210, 18);
    slider_->SetRange(0, 8);
    parent_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent_));
  }
  void Flush() { QCoreApplication::sendPostedEvents(); }
  Recorder parent_;
  CBitmapSlider* slider_ = nullptr;
};

TEST_F(ControlsTest, SliderReportsMovesAndTheEndOfADragToItsParent) {
  const int y = slider_->height() / 2;
  QTest::mousePress(slider_, Qt::LeftButton, {}, QPoint(slider_->XForPos(2), y));
  QTest::mouseMove(slider_, QPoint(slider_->XForPos(5), y));
  QTest::mouseRelease(slider_, Qt::LeftButton, {}, QPoint(slider_->XForPos(5), y));
  Flush();
  ASSERT_EQ(parent_.got.size(), 3u);
  EXPECT_EQ(parent_.got[0].message, kMsgSliderMoved);
  EXPECT_EQ(parent_.got[0].wParam, 1014);
  EXPECT_EQ(parent_.got[0].lParam, 2);
  EXPECT_EQ(parent_.got[1].message, kMsgSliderMoved);
  EXPECT_EQ(parent_.got[1].lParam, 5);
  EXPECT_EQ(parent_.got[2].message, kMsgSliderMovedEnd);
  EXPECT_EQ(parent_.got[2].lParam, 5);
  EXPECT_EQ(slider_->Pos(), 5);
  EXPECT_FALSE(slider_->Dragging());
}

TEST_F(ControlsTest, SliderEndsReachTheRangeEndsAndSetPosSendsNothing) {
  const int y = slider_->height() / 2;
  QTest::mouseClick(slider_, Qt::LeftButton, {}, QPoint(0, y));
  EXPECT_EQ(slider_->Pos(), 0);
  QTest::mouseClick(slider_, Qt::LeftButton, {}, QPoint(slider_->width() - 1, y));
  EXPECT_EQ(slider_->Pos(), 8);
  Flush();
  parent_.got.clear();
  slider_->SetPos(3);
  slider_->SetPos(99);  // clamped
  EXPECT_EQ(slider_->Pos(), 8);
  slider_->SetRange(0, 0);
  EXPECT_EQ(slider_->Pos(), 0);
  slider_->SetRange(5, 1);  // an upper end below the lower one is the lower one
  EXPECT_EQ(slider_->Maximum(), 5);
  Flush();
  EXPECT_TRUE(parent_.got.empty());
}

TEST_F(ControlsTest, ControlsAreFoundByTheirIds) {
  auto* play = new CPictureButton(1003, ">", &parent_);
  auto* list = new CColorListCtrl(1001, &parent_);
  EXPECT_EQ(ControlId(play), 1003);
  EXPECT_EQ(FindControl(&parent_, 1003), play);
  EXPECT_EQ(FindControl(&parent_, 1001), list);
  EXPECT_EQ(FindControl(&parent_, 1014), slider_);
  EXPECT_EQ(FindControl(&parent_, 4242), nullptr);
  EXPECT_EQ(ControlsWithIds(&parent_).size(), 3);
  // A child dialog's controls are its own.
  QWidget child(&parent_);
  new CPictureButton(1101, "G-sensor", &child);
  EXPECT_EQ(FindControl(&parent_, 1101), nullptr);
  EXPECT_NE(FindControl(&child, 1101), nullptr);
  play->SetPicture(1);
  EXPECT_EQ(play->Picture(), 1);
}

TEST_F(ControlsTest, PostedMessagesArriveLaterSentOnesAnswerAtOnce) {
  EXPECT_TRUE(PostMessageTo(&parent_, 0x471, 20, -3));
  EXPECT_TRUE(parent_.got.empty());
  Flush();
  ASSERT_EQ(parent_.got.size(), 1u);
  EXPECT_EQ(parent_.got[0].message, 0x471u);
  EXPECT_EQ(parent_.got[0].lParam, -3);
  EXPECT_EQ(SendMessageTo(&parent_, 0x46A, 4, 1), 5);
  EXPECT_FALSE(PostMessageTo(nullptr, 0x471, 0, 0));
}

TEST_F(ControlsTest, ListSelectsRowsAndReportsTheFirstSelected) {
  auto* list = new CColorListCtrl(1001, &parent_);
  list->SetColumns({{"a", 50, true}, {"hidden", 0, false}});
  EXPECT_TRUE(list->isColumnHidden(1));
  for (int i = 0; i < 4; ++i) list->addTopLevelItem(new QTreeWidgetItem(QStringList{QString::number(i), "x"}));
  EXPECT_EQ(list->FirstSelectedRow(), -1);
  list->SelectRow(2, true);
  list->SelectRow(3, true);
  EXPECT_EQ(list->FirstSelectedRow(), 2);
  EXPECT_TRUE(list->RowSelected(3));
  list->DeselectAll();
  EXPECT_EQ(list->FirstSelectedRow(), -1);
}

}  // namespace
}  // namespace controls

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
