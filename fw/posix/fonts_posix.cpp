// Fontconfig set-up: aliases for the Windows face names, and whether a face exists.
#include <fontconfig/fontconfig.h>

#include <mutex>
#include <string>
#include <vector>

#include "fw/backend.h"
#include "fw/image.h"
#include "fw/posix/font_aliases.h"

namespace fw {

namespace {

// A pattern for the face after the configuration's substitutions (aliases, fallbacks).
FcPattern* Substituted(const char* face) {
    FcPattern* pat = FcPatternCreate();
    if (!pat) return nullptr;
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(face));
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    return pat;
}

std::vector<std::string> Families(const FcPattern* pat) {
    std::vector<std::string> out;
    FcChar8* f = nullptr;
    for (int i = 0; pat && FcPatternGetString(pat, FC_FAMILY, i, &f) == FcResultMatch; ++i)
        out.emplace_back(reinterpret_cast<const char*>(f));
    return out;
}

bool SameName(const std::string& a, const std::string& b) {
    return FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(a.c_str()),
                              reinterpret_cast<const FcChar8*>(b.c_str())) == 0;
}

}  // namespace

void backend::InstallFontAliases() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!FcInit()) return;
        FcConfig* config = FcConfigGetCurrent();
        if (!config) return;
        FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(kFontAliasesXml), FcTrue);
    });
}

// A face exists when the font fontconfig picks for it carries the name itself or one of
// the names the configuration adds for this face in particular (aliases such as
// 宋体 -> Noto Serif CJK SC, metric-compatible replacements such as Arial -> Liberation Sans).
// Those are the names in front of the fallback list that every unknown name gets; that list
// is learnt from a name no font has.
bool Font::Exists() const {
    if (face.empty() || face.find('\0') != std::string::npos) return false;
    backend::InstallFontAliases();
    FcPattern* pat = Substituted(face.c_str());
    FcPattern* unknown = Substituted("fw-no-such-face \x7f");
    std::vector<std::string> own = Families(pat);
    const std::vector<std::string> fallback = Families(unknown);
    std::vector<std::string> matched;
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = pat ? FcFontMatch(nullptr, pat, &result) : nullptr) {
        matched = Families(match);
        FcPatternDestroy(match);
    }
    if (pat) FcPatternDestroy(pat);
    if (unknown) FcPatternDestroy(unknown);

    // A generic name ("sans-serif") is replaced by the families it stands for.
    bool named = false;
    for (const std::string& n : own) named = named || SameName(n, face);
    if (!named) return !matched.empty();

    // Drop the common tail (the generic fallbacks); keep at least the face itself.
    std::size_t keep = own.size();
    std::size_t j = fallback.size();
    while (keep > 1 && j > 1 && SameName(own[keep - 1], fallback[j - 1])) {
        --keep;
        --j;
    }
    own.resize(keep);
    for (const std::string& m : matched)
        for (const std::string& n : own)
            if (SameName(m, n)) return true;
    return false;
}

}  // namespace fw
