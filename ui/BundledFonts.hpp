// The faces the program brings along where the system may lack them (Windows).
#pragma once

namespace qv58163::ui {

// Registers the Liberation faces built into the program: metric-compatible with Arial, Arial
// Narrow and Times New Roman, which the window asks for. Windows has Arial and Times New Roman,
// but Arial Narrow only with some other products; without it the range entries would not fit
// their lists. Arial and Times New Roman fall back to their Liberation faces where they are
// missing (Wine). Registers once, however often it is called; needs a QGuiApplication.
void installBundledFonts();

}  // namespace qv58163::ui
