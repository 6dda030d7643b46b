#include "service_paths.h"

#include "file_settings.h"
#include "service_command.h"

namespace {

const char FILE_PREFIX[] = "file:";

} // namespace

bool RelativeFileRefused(const std::vector<ChannelMapping>& mappings, std::string* why)
{
    for (const ChannelMapping& mapping : mappings) {
        const std::string& text = mapping.source->Text();
        FileSettings settings;
        std::string unused;
        if (text.compare(0, sizeof FILE_PREFIX - 1, FILE_PREFIX) != 0 || !ParseFileSettings(text, &settings, &unused)
            || IsAbsolutePath(settings.path))
            continue;
        *why = mapping.origin + ": channel " + std::to_string(mapping.channel) + " plays '" + settings.path
             + "', a relative path, which a service would look for in the system folder"
               " (C:\\Windows\\System32), where it starts; give the full path (file:C:\\rec\\news.ts)";
        return true;
    }
    return false;
}
