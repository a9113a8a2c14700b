// Process identities from /proc (see process_identity.h).
#include "supervisor/process_identity.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

namespace supervisor {

namespace {

std::optional<std::string> readSmallFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return text.str();
}

} // namespace

std::optional<ProcessStatus> parseProcessStat(std::string_view text)
{
    const std::size_t close = text.rfind(')');
    if (close == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = text.substr(close + 1);
    // After ")" come field 3 (the state) to field 52, each after one space.
    constexpr int kStateField = 3, kStartTimeField = 22;
    ProcessStatus status;
    for (int field = kStateField; field <= kStartTimeField; ++field) {
        if (rest.empty() || rest.front() != ' ')
            return std::nullopt;
        rest.remove_prefix(1);
        const std::size_t end = std::min(rest.find(' '), rest.size());
        const std::string_view word = rest.substr(0, end);
        if (word.empty())
            return std::nullopt;
        if (field == kStateField) {
            if (word.size() != 1)
                return std::nullopt;
            status.state = word.front();
        } else if (field == kStartTimeField) {
            const auto [stop, error] = std::from_chars(word.data(), word.data() + word.size(), status.startTicks);
            if (error != std::errc() || stop != word.data() + word.size())
                return std::nullopt;
        }
        rest.remove_prefix(end);
    }
    return status;
}

std::optional<ProcessStatus> readProcessStatus(long pid)
{
    if (pid <= 0)
        return std::nullopt;
    const auto text = readSmallFile("/proc/" + std::to_string(pid) + "/stat");
    return text ? parseProcessStat(*text) : std::nullopt;
}

std::optional<ProcessIdentity> readProcessIdentity(long pid)
{
    const auto status = readProcessStatus(pid);
    if (!status)
        return std::nullopt;
    return ProcessIdentity{pid, status->startTicks};
}

std::string readBootId()
{
    auto text = readSmallFile("/proc/sys/kernel/random/boot_id");
    if (!text)
        return "-";
    while (!text->empty() && (text->back() == '\n' || text->back() == ' '))
        text->pop_back();
    return isBootIdWord(*text) ? *text : "-";
}

bool isStillRunning(const ProcessIdentity& process, const std::string& recordedBootId,
                    const std::string& currentBootId)
{
    if (recordedBootId != "-" && currentBootId != "-" && recordedBootId != currentBootId)
        return false;
    const auto status = readProcessStatus(process.pid);
    return status && status->state != 'Z' && status->startTicks == process.startTicks;
}

} // namespace supervisor
