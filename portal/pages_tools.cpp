// Developer pages: the script-bridge benchmark and the bridge simulator,
// which shows any portal page with a stand-in window.external and records
// what the page asks of the client.
#include <string>

#include "html.h"
#include "page_files.h"
#include "pages.h"

namespace portal {

std::string BenchPage(int calls) {
    return Fill(page_files::kBench, {{"FONT", std::string(kFontStack)}, {"CALLS", std::to_string(calls)}});
}

std::string SimPage() { return Fill(page_files::kSim, {{"FONT", std::string(kFontStack)}}); }

}  // namespace portal
