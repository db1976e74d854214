// Scroll arithmetic of the main window: content size, scroll bar set-up, scroll requests, wheel.
#pragma once

namespace shell {

// The content never shrinks below the size that holds the pages of the window mode.
constexpr int kCompactContentWidth = 1182;
constexpr int kCompactContentHeight = 909;
constexpr int kWideContentWidth = 1867;
constexpr int kWideContentHeight = 926;
// Scrolled fully, this much room shows beyond the content.
constexpr int kScrollMargin = 18;

struct Extent {
  int width = 0;
  int height = 0;
};

// The client size at initialisation, raised to the minimum of the window mode.
Extent ContentExtent(int windowMode, Extent client);

// One scroll bar for a content extent shown in a client extent: shown only while the client is
// smaller; positions run 0..maximum (content - client + margin); a page is the client extent.
struct ScrollBarSetup {
  bool shown = false;
  int maximum = 0;
  int page = 0;
};
ScrollBarSetup SetupScrollBar(int content, int client);

enum class ScrollRequest { LineBack, LineForward, PageBack, PageForward, Thumb, Other };

// Position after a request, clamped to 0..content - client + margin.
int NewScrollPosition(ScrollRequest request, int position, int thumb, int content, int client);

// Modifier state of a wheel turn, reduced to what decides its direction.
enum WheelKeys : unsigned {
  kWheelShift = 1,
  kWheelCtrl = 2,
  kWheelOther = 4,  // any other modifier or a held mouse button
};

enum class ScrollAxis { None, Horizontal, Vertical };

struct WheelScroll {
  ScrollAxis axis = ScrollAxis::None;
  ScrollRequest request = ScrollRequest::Other;
};

// Exactly Shift or exactly Ctrl scrolls horizontally, anything else vertically; only a direction
// whose client is smaller than its content scrolls, by a page back for a positive delta and a
// page forward otherwise.
WheelScroll ScrollForWheel(unsigned keys, int delta, bool horizontalScrollable,
                           bool verticalScrollable);

}  // namespace shell
