// Scroll arithmetic of the main window.
#include <gtest/gtest.h>

#include "viewer/shell/ScrollModel.h"

namespace {

using shell::NewScrollPosition;
using shell::ScrollAxis;
using shell::ScrollForWheel;
using shell::ScrollRequest;

TEST(ScrollModel, ContentIsTheClientRaisedToTheWindowModesMinimum) {
  const shell::Extent compact = shell::ContentExtent(0, {800, 2000});
  EXPECT_EQ(compact.width, 1182);
  EXPECT_EQ(compact.height, 2000);
  const shell::Extent wide = shell::ContentExtent(1, {0, 0});
  EXPECT_EQ(wide.width, 1867);
  EXPECT_EQ(wide.height, 926);
}

TEST(ScrollModel, BarsShowOnlyBelowTheContentWithRangeContentPlusMargin) {
  EXPECT_FALSE(shell::SetupScrollBar(1182, 1182).shown);
  EXPECT_FALSE(shell::SetupScrollBar(1182, 1190).shown);
  const shell::ScrollBarSetup bar = shell::SetupScrollBar(1867, 1000);
  EXPECT_TRUE(bar.shown);
  EXPECT_EQ(bar.page, 1000);
  // Positions 0..max with a page of the client: the range spans content + 18.
  EXPECT_EQ(bar.maximum + bar.page, 1867 + 18);
}

TEST(ScrollModel, RequestsMoveAndClampToTheMargin) {
  const int content = 1182;
  const int client = 1000;  // max position 200
  EXPECT_EQ(NewScrollPosition(ScrollRequest::LineForward, 5, 0, content, client), 6);
  EXPECT_EQ(NewScrollPosition(ScrollRequest::LineBack, 0, 0, content, client), 0);
  EXPECT_EQ(NewScrollPosition(ScrollRequest::PageForward, 0, 0, content, client), 200);
  EXPECT_EQ(NewScrollPosition(ScrollRequest::PageBack, 150, 0, content, client), 0);
  EXPECT_EQ(NewScrollPosition(ScrollRequest::Thumb, 10, 120, content, client), 120);
  EXPECT_EQ(NewScrollPosition(ScrollRequest::Thumb, 10, 5000, content, client), 200);
  EXPECT_EQ(NewScrollPosition(ScrollRequest::Other, 33, 0, content, client), 33);
  // Scrolled fully, the margin beyond the content is visible: position + client = content + 18.
  EXPECT_EQ(NewScrollPosition(ScrollRequest::PageForward, 190, 0, content, client) + client,
            content + 18);
}

TEST(ScrollModel, WheelWithExactlyShiftOrCtrlScrollsSideways) {
  using shell::kWheelCtrl;
  using shell::kWheelOther;
  using shell::kWheelShift;
  // Only too narrow: Shift scrolls sideways by a page, a plain wheel does nothing.
  shell::WheelScroll s = ScrollForWheel(kWheelShift, -120, true, false);
  EXPECT_EQ(s.axis, ScrollAxis::Horizontal);
  EXPECT_EQ(s.request, ScrollRequest::PageForward);
  EXPECT_EQ(ScrollForWheel(0, -120, true, false).axis, ScrollAxis::None);
  EXPECT_EQ(ScrollForWheel(kWheelCtrl, 120, true, false).request, ScrollRequest::PageBack);
  // Shift with Ctrl, or with anything else, is not "exactly Shift": vertical.
  EXPECT_EQ(ScrollForWheel(kWheelShift | kWheelCtrl, 120, true, true).axis, ScrollAxis::Vertical);
  EXPECT_EQ(ScrollForWheel(kWheelShift | kWheelOther, 120, true, false).axis, ScrollAxis::None);
  // A zero delta counts as forward.
  EXPECT_EQ(ScrollForWheel(0, 0, false, true).request, ScrollRequest::PageForward);
}

}  // namespace
