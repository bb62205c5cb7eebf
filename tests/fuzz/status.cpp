// --status on any sectors and any drive names: the text has no control bytes
// but its line ends, and the JSON is one object that a real JSON parser
// accepts (which also takes only valid UTF-8), with one entry per named drive.
// Input: a byte whose bits 0-3 name drives 0-3 and bits 4-7 make their reads
// fail, four names (a length byte, then that many bytes), then LBA 0-4 of
// drives 0 to 3 (missing bytes are zero).
#include "installer/status.h"
#include "core/sector_access.h"
#include "tests/fake_sector_access.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <cstring>

namespace fd = fake_disks;

namespace {

// C0 controls but the line end, DEL, and (`c1`) the C1 controls written in UTF-8.
bool hasControlBytes(const std::string& text, bool c1) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<uint8_t>(text[i]);
        if ((c < 0x20 && c != '\n') || c == 0x7F) return true;
        if (c1 && c == 0xC2 && i + 1 < text.size() && static_cast<uint8_t>(text[i + 1]) < 0xA0 &&
            static_cast<uint8_t>(text[i + 1]) >= 0x80)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    fd::reset();
    const uint8_t mask = data[0];
    size_t at = 1;
    std::vector<std::string> names(4);
    size_t named = 0;
    for (int drive = 0; drive < 4; ++drive) {
        const size_t length = at < size ? std::min<size_t>(data[at] % 64, size - at - 1) : 0;
        if (at < size) ++at;
        if (mask & (1 << drive))
            names[drive].assign(reinterpret_cast<const char*>(data + at), length);
        at += length;
        named += !names[drive].empty();
    }
    setDriveNames(names);
    for (int drive = 0; drive < 4; ++drive) {
        const size_t length = std::min<size_t>(5 * 512, size - std::min(at, size));
        std::memcpy(fd::disk(drive).data(), data + at, length);
        at += length;
    }
    // Reads are counted over the whole report: the n-th read is drive n's.
    int read = 0;
    for (int drive = 0; drive < 4; ++drive)
        if (!names[drive].empty()) {
            ++read;
            if (mask & (16 << drive)) fd::inject({fd::Kind::Read, read, 5, false, false});
        }

    int exitCode = -1;
    const std::string text = statusReport(false, exitCode);
    if (hasControlBytes(text, true) || (exitCode != 0 && exitCode != 3)) std::abort();
    const std::string json = statusReport(true, exitCode);
    // JSON strings may hold U+0080..U+009F as they are; C0 controls never.
    if (hasControlBytes(json, false) || json.empty() || json.back() != '\n') std::abort();
    nlohmann::json parsed;
    try {
        parsed = nlohmann::json::parse(json);
    } catch (const nlohmann::json::exception&) {
        std::abort();
    }
    if (!parsed.is_object() || parsed.size() != 1 || !parsed["drives"].is_array() ||
        parsed["drives"].size() != named)
        std::abort();
    for (const auto& drive : parsed["drives"])
        if (!drive["path"].is_string() ||
            (!drive.contains("error") && drive["entries"].size() != 4))
            std::abort();
    return 0;
}
