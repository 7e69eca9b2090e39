// Writes the launcher's layout (shared/launcher_layout.h) as JSON for the Python tests and
// tools, which cannot include the header:
//   {"buttons": {"close": [left, top, right, bottom], ...}, "web_area": [left, top, right, bottom]}
// with the buttons in the header's order.
//   launcher_layout_json OUTPUT
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "shared/launcher_layout.h"

namespace {

std::string Json(const fw::Rect& r) {
    std::ostringstream out;
    out << '[' << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ']';
    return out.str();
}

}  // namespace

int main(int argc, char** argv) {
    namespace layout = shared::launcher_layout;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    std::ostringstream json;
    json << "{\n  \"source\": \"shared/launcher_layout.h\",\n  \"buttons\": {\n";
    for (int i = 0; i < layout::kButtonCount; ++i)
        json << "    \"" << layout::kButtons[i].name << "\": " << Json(layout::kButtons[i].rect)
             << (i + 1 < layout::kButtonCount ? ",\n" : "\n");
    json << "  },\n  \"web_area\": " << Json(layout::kWebArea) << "\n}\n";

    // Written whole under another name first: a reader never sees half a file.
    const std::string out = argv[1], part = out + ".part";
    {
        std::ofstream f(part, std::ios::binary | std::ios::trunc);
        f << json.str();
        if (!f.flush()) {
            std::fprintf(stderr, "launcher_layout_json: cannot write %s\n", part.c_str());
            return 1;
        }
    }
    if (std::rename(part.c_str(), out.c_str()) != 0) {
        std::fprintf(stderr, "launcher_layout_json: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}
