// compare: a memory of the module (or an image file) against an image file, its chip lane
// files, or every file of a backup folder, word by word. Differences are named as an engineer
// finds them again: the word's index in octal (for the AMT ROM within its half, "70000:" or
// "74000:"), the byte offset in the file, and both words in octal.
#include <algorithm>

#include "app/texts.h"
#include "app/value_formats.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/files.h"
#include "define/byte_order.h"
#include "define/hex_text.h"
#include "define/utf8_path.h"

namespace {

// Differences listed unless --all.
constexpr std::size_t first_differences_shown = 10;

// Where word `word` of a memory is told: its index, within its half for the AMT ROM.
struct WordPlace {
    std::string half;  // "70000:" or "74000:"; empty for the other memories
    std::size_t index;
};

WordPlace place_of(Memory m, std::size_t word)
{
    const MemoryInfo& info = memory_info(m);
    if (m != Memory::amt || info.previews.size() != amt_half_texts.size()) return {"", word};
    std::size_t half = 0;
    while (half + 1 < info.previews.size() && word >= info.previews[half + 1].first_word) ++half;
    return {amt_half_texts[half], word - info.previews[half].first_word};
}

struct Side {
    std::string name;  // "module" or the file's name as given
    std::vector<std::uint8_t> bytes;
};

// The words in which two images of a memory differ, and what a person and a script read of it.
void report(Output& out, Memory m, const Side& a, const Side& b, bool all, bool& differ)
{
    const MemoryInfo& info = memory_info(m);
    const std::size_t words = info.size / 2;
    std::vector<std::size_t> differing;
    for (std::size_t w = 0; w < words; ++w)
        if (get_le16(&a.bytes[2 * w]) != get_le16(&b.bytes[2 * w])) differing.push_back(w);
    differ = differ || !differing.empty();

    Json j = result_object("compare");
    j["memory"] = info.name;
    j["sides"] = {a.name, b.name};
    j["words"] = words;
    j["equal"] = differing.empty();
    j["differing_words"] = differing.size();
    std::string text = std::string(info.name) + ": " + a.name + " and " + b.name;
    if (differing.empty()) {
        text += " are equal (" + std::to_string(words) + " words)";
        out.result(j, text);
        return;
    }
    text += " differ in " + std::to_string(differing.size()) + " of " + std::to_string(words) + " words";
    const std::size_t shown = all ? differing.size() : std::min(differing.size(), first_differences_shown);
    Json list = Json::array();
    for (std::size_t i = 0; i < shown; ++i) {
        const std::size_t w = differing[i];
        const WordPlace place = place_of(m, w);
        const std::uint16_t va = get_le16(&a.bytes[2 * w]), vb = get_le16(&b.bytes[2 * w]);
        Json d;
        if (!place.half.empty()) d["half"] = place.half;
        d["word"] = word_to_oct6_text(static_cast<std::uint16_t>(place.index));
        d["byte"] = 2 * w;
        d["values"] = {word_to_oct6_text(va), word_to_oct6_text(vb)};  // in the order of "sides"
        list.push_back(d);
        text += "\n  " + (place.half.empty() ? "" : place.half + " ") + "word " +
                word_to_oct6_text(static_cast<std::uint16_t>(place.index)) + "  byte 0x" +
                hex_text(static_cast<std::uint32_t>(2 * w), 4) + "  " + a.name + " " +
                word_to_oct6_text(va) + "  " + b.name + " " + word_to_oct6_text(vb);
    }
    if (shown < differing.size())
        text += "\n  ... and " + std::to_string(differing.size() - shown) + " more (--all lists every one)";
    j["differences"] = list;
    out.result(j, text);
}

std::vector<std::uint8_t> image_file(const std::string& file, Memory m)
{
    const MemoryInfo& info = memory_info(m);
    std::vector<std::uint8_t> bytes = read_whole_file(utf8_path(file));
    if (bytes.size() != info.size)
        throw CliFailure(exit_file_problem, file + ": " + std::to_string(bytes.size()) + " bytes, the " +
                                                info.name + " image is " + std::to_string(info.size) + " bytes");
    return bytes;
}

// The second side: a whole file, or the memory's lane files put together as `write` does.
Side second_side(const CompareOptions& o)
{
    if (!o.second_file.empty()) return {o.second_file, image_file(o.second_file, o.memory)};
    WriteOptions lanes;
    lanes.memory = o.memory;
    lanes.lane_files = o.lane_files;
    std::string name;
    for (const std::string& f : o.lane_files) {
        if (f.empty()) continue;
        if (!name.empty()) name += '+';
        name += path_utf8(utf8_path(f).filename());
    }
    return {name, image_for_write(lanes)};
}

}  // namespace

int command_compare(ModuleLink* link, Output& out, const CompareOptions& o)
{
    bool differ = false;
    if (!o.backup.empty()) {
        // Every file is checked against the manifest before the module is asked for anything.
        const BackupContents backup = read_backup(utf8_path(o.backup), o.ram);
        link->hold_application();
        for (const auto& [m, bytes] : backup.images)
            report(out, m, {"module", read_memory(*link, m)}, {memory_info(m).file_name, bytes}, o.all, differ);
        return differ ? exit_verify_mismatch : exit_done;
    }
    const Side second = second_side(o);
    Side first;
    if (o.first_file.empty()) {
        link->hold_application();
        first = {"module", read_memory(*link, o.memory)};
        link->release();
    } else {
        first = {o.first_file, image_file(o.first_file, o.memory)};
    }
    report(out, o.memory, first, second, o.all, differ);
    return differ ? exit_verify_mismatch : exit_done;
}
