// Scroll arithmetic of the main window, kept apart from the widgets so it can be checked alone.
#include "viewer/shell/ScrollModel.h"

#include <algorithm>

namespace shell {

Extent ContentExtent(int windowMode, Extent client) {
  const bool wide = windowMode != 0;
  return {std::max(client.width, wide ? kWideContentWidth : kCompactContentWidth),
          std::max(client.height, wide ? kWideContentHeight : kCompactContentHeight)};
}

ScrollBarSetup SetupScrollBar(int content, int client) {
  if (client >= content) return {};
  return {true, content - client + kScrollMargin, std::max(client, 0)};
}

int NewScrollPosition(ScrollRequest request, int position, int thumb, int content, int client) {
  const int page = std::max(client, 0);
  switch (request) {
    case ScrollRequest::LineBack:
      position -= 1;
      break;
    case ScrollRequest::LineForward:
      position += 1;
      break;
    case ScrollRequest::PageBack:
      position -= page;
      break;
    case ScrollRequest::PageForward:
      position += page;
      break;
    case ScrollRequest::Thumb:
      position = thumb;
      break;
    case ScrollRequest::Other:
      break;
  }
  const int maximum = std::max(content - client + kScrollMargin, 0);
  return std::clamp(position, 0, maximum);
}

WheelScroll ScrollForWheel(unsigned keys, int delta, bool horizontalScrollable,
                           bool verticalScrollable) {
  const bool sideways = keys == kWheelShift || keys == kWheelCtrl;
  if (sideways ? !horizontalScrollable : !verticalScrollable) return {};
  return {sideways ? ScrollAxis::Horizontal : ScrollAxis::Vertical,
          delta > 0 ? ScrollRequest::PageBack : ScrollRequest::PageForward};
}

}  // namespace shell
