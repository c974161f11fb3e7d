// vexogeo geocode --batch: one search per input line through one client (its gate and cache),
// one answer line per input line.
#include "geocode_batch.h"

#include "common.h"
#include "process.h"
#include "stream.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string_view>

namespace VexoGeoCli {
namespace {

const std::string kContext = "geocode";

// The three kinds of line that carry no place.
enum class Empty { NoResult, NoQuery, Failed };

// The query of one input line: without a UTF-8 byte order mark at the start of the file, a
// carriage return at the end (a file from Windows) or blanks around it.
std::string_view QueryOf(std::string_view line, bool firstOfFile) {
    if (firstOfFile && line.substr(0, 3) == "\xEF\xBB\xBF")
        line.remove_prefix(3);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return std::string_view();
    return line.substr(first, line.find_last_not_of(" \t") + 1 - first);
}

// One place as a JSON object on one line: the object `FormatPlaces` writes for it, whose line
// breaks (never inside a JSON string) are only layout.
std::string PlaceObject(const Geo::Place &place) {
    const std::string array = FormatPlaces({place}, GeocodeFormat::Json);
    const std::size_t open = array.find('{');
    const std::size_t close = array.rfind('}');
    std::string object = array.substr(open, close + 1 - open);
    object.erase(std::remove(object.begin(), object.end(), '\n'), object.end());
    return object;
}

std::string AnswerLine(GeocodeFormat format, std::string_view query, const Geo::Place *place,
                       Empty empty = Empty::NoResult, const std::string &error = "") {
    if (format == GeocodeFormat::Text) {
        if (place != nullptr)
            return FormatPlaces({*place}, GeocodeFormat::Text);
        return empty == Empty::NoResult  ? "-\t-\tno result\n"
               : empty == Empty::NoQuery ? "-\t-\tno query\n"
                                         : "-\t-\tfailed\n";
    }
    std::string line = "{\"query\": " + JsonString(ToTerminalText(std::string(query))) +
                       ", \"place\": " + (place != nullptr ? PlaceObject(*place) : "null");
    if (empty == Empty::Failed)
        line += ", \"error\": " + JsonString(ToTerminalText(error));
    return line + "}\n";
}

// The line reached, on a terminal only, redrawn in place; cleared before any other message.
class CLineProgress {
  public:
    CLineProgress() : m_shown(IsStandardErrorTerminal()) {}
    ~CLineProgress() { Clear(); }
    CLineProgress(const CLineProgress &) = delete;
    CLineProgress &operator=(const CLineProgress &) = delete;

    void Show(std::uint64_t line, std::uint64_t bytesRead, std::uint64_t bytesTotal) {
        if (!m_shown)
            return;
        std::string text = "geocode --batch: line " + std::to_string(line);
        if (bytesTotal > 0)
            text += " (" + std::to_string(bytesRead * 100 / bytesTotal) + "% read)";
        std::fprintf(stderr, "\r%s", text.c_str());
        std::fflush(stderr);
        m_width = text.size();
    }
    void Clear() {
        if (m_width == 0)
            return;
        std::fprintf(stderr, "\r%*s\r", static_cast<int>(m_width), "");
        std::fflush(stderr);
        m_width = 0;
    }

  private:
    bool m_shown;
    std::size_t m_width = 0;
};

} // namespace

int RunGeocodeBatch(const std::string &input, const Geo::GeocoderOptions &options,
                    GeocodeFormat format) {
    // Options the client refuses stop the batch before any line is read (exit 2).
    const Geo::CGeocoder geocoder(options);
    CLineReader reader({input.empty() ? std::string("-") : input}, kContext);
    CLineProgress progress;
    std::uint64_t failed = 0;
    std::uint64_t nextLine = 1; // the number of the next line to answer
    bool blocked = false;
    const auto write = [&](const std::string &line) {
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
    };
    // Lines the reader skipped (too long; it reported them) still get their answer line, so
    // the answers stay in step with the input.
    std::uint64_t skippedAnswered = 0;
    const auto answerSkippedUpTo = [&](std::uint64_t line) {
        for (; nextLine < line; ++nextLine, ++skippedAnswered, ++failed)
            write(AnswerLine(format, "", nullptr, Empty::Failed, "line too long"));
    };
    InputBlock block;
    while (!blocked && !std::ferror(stdout) && reader.Next(block)) {
        answerSkippedUpTo(block.m_firstLine);
        bool firstOfFile = block.m_firstOfFile && block.m_firstLine == 1;
        ForEachLine(block, [&](const char *begin, const char *end) {
            const std::uint64_t number = nextLine++;
            const std::string_view query =
                QueryOf(std::string_view(begin, end - begin), firstOfFile);
            firstOfFile = false;
            progress.Show(number, reader.GetBytesRead(), reader.GetBytesTotal());
            if (query.empty()) {
                write(AnswerLine(format, query, nullptr, Empty::NoQuery));
                return !std::ferror(stdout);
            }
            std::string error;
            try {
                const std::string text = Geo::CGeocoder::ToUtf8(std::string(query));
                if (text.empty())
                    throw Geo::GeocodingError(Geo::GeocodingErrorKind::InvalidArgument,
                                              "the line is no text in the terminal's encoding");
                const std::vector<Geo::Place> places = geocoder.Search(text);
                write(AnswerLine(format, query, places.empty() ? nullptr : &places.front()));
                return !std::ferror(stdout);
            } catch (const Geo::GeocodingError &e) {
                error = e.what();
                blocked = e.GetKind() == Geo::GeocodingErrorKind::Blocked;
            }
            ++failed;
            progress.Clear();
            PrintLineError(kContext, block.m_name, number, error, query);
            write(AnswerLine(format, query, nullptr, Empty::Failed, error));
            return !blocked && !std::ferror(stdout);
        });
    }
    if (!blocked && !std::ferror(stdout))
        answerSkippedUpTo(nextLine + (reader.GetSkippedLines() - skippedAnswered));
    progress.Clear();
    if (blocked)
        PrintError(kContext, "stopped at line " + std::to_string(nextLine - 1) +
                                 ": the service blocks this client, the other lines were not sent");
    const bool complete = failed == 0 && reader.GetFailedInputs() == 0 && !blocked;
    return FinishOutput(kContext, complete ? kExitSuccess : kExitFailure);
}

} // namespace VexoGeoCli
