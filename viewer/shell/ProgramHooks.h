// The implementations the program puts into the shell's seams.
#pragma once

namespace shell {

// Installs the page refreshes and the menu commands carried out outside the shell; the program
// calls it once before start-up, GUI tests that run the whole viewer do too.
void InstallProgramHooks();

}  // namespace shell
