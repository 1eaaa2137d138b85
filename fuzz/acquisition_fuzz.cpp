// Fuzz target over the acquisition-file reader, as quorvel-cli export --from
// runs it. Any input either reads back as a pattern, grid or layout, that the
// generator writes again line for line, and that exports in every format,
// or gives a message naming a line of the input. A broken promise traps.
//
// A campaign (asan preset), on a scratch copy of the seeds:
//   build/asan/fuzz/acquisition_fuzz -max_len=32768 -max_total_time=900 scratch/

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "planner/AcquisitionFile.h"
#include "planner/LightExport.h"

namespace
{

// The lines as the reader sees them: "\n" or "\r\n" ends a line, and the
// last line may lack its end.
std::string Normalised(std::string_view text, int &lines)
{
    std::string out;
    lines = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) nl = text.size();
        std::string_view line = text.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        out.append(line);
        out += '\n';
        ++lines;
        pos = nl + 1;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const planner::AcquisitionRead read = planner::ReadAcquisition(text);
    int lines = 0;
    const std::string normalised = Normalised(text, lines);
    if (!read.ok) {
        // The line named is one of the file's, or the one after its end.
        if (read.error.line < 1 || read.error.line > lines + 1 || read.error.message.empty()) __builtin_trap();
        return 0;
    }

    planner::PatternLists again;
    if (planner::BuildLayout(read.input, read.layout, again) != normalised) __builtin_trap();
    if (again.positions.size() != read.lists.positions.size()) __builtin_trap();

    std::string error;
    const std::optional<planner::LightTable> table =
        planner::MakeLightTable(read.input, read.lists, planner::ExportOptions{}, error);
    if (!table) __builtin_trap();
    for (planner::LightFormat f : planner::kLightFormats)
        if (!planner::FormatLights(f, *table, planner::ExportOptions{}).ok) __builtin_trap();
    return 0;
}
