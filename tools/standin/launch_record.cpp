// Formatting and atomic writing of the stand-in runtime's launch record.
#include "launch_record.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <unistd.h>

namespace kyn::runtime {

std::string escapeRecordValue(const std::string& value)
{
    std::string escaped;
    escaped.reserve(value.size());
    for (const char c : value) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

std::string formatLaunchRecord(const LaunchRecord& record)
{
    std::string text;
    for (const std::string& argument : record.arguments)
        text += "arg=" + escapeRecordValue(argument) + "\n";
    text += "cwd=" + escapeRecordValue(record.workingFolder) + "\n";
    text += "env SDL_AUDIO_DRIVER=" + escapeRecordValue(record.audioDriver) + "\n";
    text += "pid=" + std::to_string(record.pid) + "\n";
    text += "shm=" + escapeRecordValue(record.sharedMemoryFile) + "\n";
    return text;
}

bool writeLaunchRecord(const std::string& path, const LaunchRecord& record, std::string* error)
{
    const std::string temporaryPath = path + ".tmp-" + std::to_string(getpid());
    const std::string text = formatLaunchRecord(record);
    {
        std::ofstream out(temporaryPath, std::ios::binary | std::ios::trunc);
        if (!out) {
            if (error) *error = "cannot create " + temporaryPath + ": " + std::strerror(errno);
            return false;
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (out.fail()) {
            if (error) *error = "cannot write " + temporaryPath;
            std::remove(temporaryPath.c_str());
            return false;
        }
    }
    if (std::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        if (error) *error = "cannot rename " + temporaryPath + " to " + path + ": " + std::strerror(errno);
        std::remove(temporaryPath.c_str());
        return false;
    }
    return true;
}

} // namespace kyn::runtime
