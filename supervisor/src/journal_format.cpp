// The play journal's line format (see journal_format.h).
#include "supervisor/journal_format.h"

#include <charconv>

namespace supervisor {

namespace {

// The format's version, the second word of every line.
const std::string kVersion = "1";

std::string escapeRoot(const std::string& root)
{
    std::string out;
    out.reserve(root.size());
    for (const char c : root) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::optional<std::string> unescapeRoot(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        if (text[i] == '\\')
            out += '\\';
        else if (text[i] == 'n')
            out += '\n';
        else
            return std::nullopt;
    }
    return out;
}

std::string identityText(const RunIdentity& run)
{
    const auto process = [](const ProcessIdentity& p) {
        return std::to_string(p.pid) + ":" + std::to_string(p.startTicks);
    };
    return "boot=" + run.bootId + " supervisor=" + process(run.supervisor) + " game=" + process(run.game);
}

struct LineWriter {
    std::string operator()(const RunStart& start) const
    {
        return "start " + kVersion + " " + identityText(start.run) + " wall_ms=" + std::to_string(start.wallMs) +
               " root=" + escapeRoot(start.gameRoot) + "\n";
    }
    std::string operator()(const RunEnd& end) const
    {
        const char* key = end.kind == RunEndKind::Exited ? " exit=" : " signal=";
        return "end " + kVersion + " " + identityText(end.run) + key + std::to_string(end.code) +
               " ms=" + std::to_string(end.durationMs) + "\n";
    }
    std::string operator()(const RunTotals& totals) const
    {
        return "totals " + kVersion + " runs=" + std::to_string(totals.runs) + " ms=" + std::to_string(totals.playMs) +
               " last_wall_ms=" + std::to_string(totals.lastWallMs) + "\n";
    }
};

template <typename Number>
std::optional<Number> parseNumber(std::string_view text, Number lowest, Number highest)
{
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

// Far beyond any real count or time (2^53 ms are 285,000 years); readers
// that add many of them still saturate.
constexpr long long kLargestCount = 1LL << 53;

} // namespace

bool isBootIdWord(std::string_view text)
{
    if (text == "-")
        return true;
    if (text.empty() || text.size() > 64)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-'))
            return false;
    return true;
}

namespace {

// Takes the line apart word by word, each "key=value" in its expected place.
class Fields {
public:
    explicit Fields(std::string_view line) : rest_(line) {}

    // The next word, which must be exactly `word`.
    bool expect(std::string_view word)
    {
        const auto next = nextWord();
        return next && *next == word;
    }

    // The value of the next word, which must be "key=value".
    std::optional<std::string_view> value(std::string_view key)
    {
        const auto next = nextWord();
        if (!next || next->size() <= key.size() || next->substr(0, key.size()) != key ||
            (*next)[key.size()] != '=')
            return std::nullopt;
        return next->substr(key.size() + 1);
    }

    // The rest of the line after "key=", spaces included.
    std::optional<std::string_view> restAfter(std::string_view key)
    {
        if (rest_.size() <= key.size() || rest_.substr(0, key.size()) != key || rest_[key.size()] != '=')
            return std::nullopt;
        const std::string_view value = rest_.substr(key.size() + 1);
        rest_ = {};
        ended_ = true;
        return value;
    }

    bool atEnd() const { return ended_; }

private:
    std::optional<std::string_view> nextWord()
    {
        if (ended_)
            return std::nullopt;
        const std::size_t space = rest_.find(' ');
        const std::string_view word = rest_.substr(0, space);
        if (space == std::string_view::npos) {
            rest_ = {};
            ended_ = true;
        } else {
            rest_.remove_prefix(space + 1);
        }
        return word;
    }

    std::string_view rest_;
    bool ended_ = false;
};

std::optional<ProcessIdentity> parseProcess(std::optional<std::string_view> text)
{
    if (!text)
        return std::nullopt;
    const std::size_t colon = text->find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const auto pid = parseNumber<long>(text->substr(0, colon), 1, 1L << 30);
    const auto ticks = parseNumber<unsigned long long>(text->substr(colon + 1), 0, ~0ULL);
    if (!pid || !ticks)
        return std::nullopt;
    return ProcessIdentity{*pid, *ticks};
}

std::optional<RunIdentity> parseIdentity(Fields& fields)
{
    const auto boot = fields.value("boot");
    if (!boot || !isBootIdWord(*boot))
        return std::nullopt;
    const auto supervisorProcess = parseProcess(fields.value("supervisor"));
    const auto gameProcess = parseProcess(fields.value("game"));
    if (!supervisorProcess || !gameProcess)
        return std::nullopt;
    return RunIdentity{std::string(*boot), *supervisorProcess, *gameProcess};
}

std::optional<JournalRecord> parseStart(Fields& fields)
{
    const auto run = parseIdentity(fields);
    const auto wall = fields.value("wall_ms");
    const auto wallMs = wall ? parseNumber<long long>(*wall, 0, kLargestCount) : std::nullopt;
    const auto escapedRoot = fields.restAfter("root");
    const auto root = escapedRoot ? unescapeRoot(*escapedRoot) : std::nullopt;
    if (!run || !wallMs || !root)
        return std::nullopt;
    return RunStart{*run, *wallMs, *root};
}

std::optional<JournalRecord> parseEnd(Fields& fields)
{
    const auto run = parseIdentity(fields);
    if (!run)
        return std::nullopt;
    // The end is "exit=C" or "signal=S": try the first on a copy.
    Fields probe = fields;
    const bool signalled = !probe.value("exit");
    const auto code = signalled ? fields.value("signal") : fields.value("exit");
    const auto number = code ? parseNumber<int>(*code, signalled ? 1 : 0, signalled ? 127 : 255) : std::nullopt;
    const auto duration = fields.value("ms");
    const auto durationMs = duration ? parseNumber<long long>(*duration, 0, kLargestCount) : std::nullopt;
    if (!number || !durationMs || !fields.atEnd())
        return std::nullopt;
    return RunEnd{*run, signalled ? RunEndKind::Signalled : RunEndKind::Exited, *number, *durationMs};
}

std::optional<JournalRecord> parseTotals(Fields& fields)
{
    const auto number = [&fields](std::string_view key) -> std::optional<long long> {
        const auto text = fields.value(key);
        return text ? parseNumber<long long>(*text, 0, kLargestCount) : std::nullopt;
    };
    const auto runs = number("runs");
    const auto playMs = number("ms");
    const auto lastWallMs = number("last_wall_ms");
    if (!runs || !playMs || !lastWallMs || !fields.atEnd())
        return std::nullopt;
    return RunTotals{*runs, *playMs, *lastWallMs};
}

} // namespace

std::string formatLine(const JournalRecord& record)
{
    return std::visit(LineWriter{}, record);
}

std::optional<JournalRecord> parseLine(std::string_view line)
{
    if (line.size() > kMaximumLineLength)
        return std::nullopt;
    Fields fields(line);
    const std::size_t space = line.find(' ');
    const std::string_view kind = line.substr(0, space);
    if (!fields.expect(kind) || !fields.expect(kVersion))
        return std::nullopt;
    if (kind == "start")
        return parseStart(fields);
    if (kind == "end")
        return parseEnd(fields);
    if (kind == "totals")
        return parseTotals(fields);
    return std::nullopt;
}

} // namespace supervisor
