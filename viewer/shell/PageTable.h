// The page table of the main window: index, tab text and the page built for it.
#pragma once

class QWidget;

namespace picture {
class LivePage;
struct PageContext;
}  // namespace picture

namespace shell {

// Tab text of a page index ("Picture", "Calibration").
const char* PageTabText(int index);

// Builds the page of an index, in creation order: 0 Picture, 1 Calibration.
picture::LivePage* CreatePage(int index, picture::PageContext& context, QWidget* parent);

}  // namespace shell
