// Who may change what the feeder's service acts on: its map files, its log, its own
// program and folder, and with --allow-commands the program of every cmd: source,
// each with the folder that holds it. Checked at install, as the service starts and
// whenever it reloads its map; a console run has only its own user's rights to lose.
#pragma once
#include <string>
#include <vector>

#include "feeder_options.h"
#include "service_account.h"

// Empty when only trusted accounts may change them; otherwise which one, who may
// change it, and the command that fixes it.
std::string InstallTrustTrouble(const FeederOptions& options, const ServiceAccount& account);
// The same as this run's service starts (with options.mappings) or reloads its map:
// true with *why when it fails; never outside a service.
bool UntrustedForThisRun(const FeederOptions& options, const std::vector<ChannelMapping>& mappings, std::string* why);

// A reloaded map's vetting as a service: false with *why as UntrustedForThisRun says.
// The event log hears the first refusal after a map was taken, not each retry.
class ReloadTrust {
public:
    explicit ReloadTrust(const FeederOptions& options) : m_options(&options) {}
    bool operator()(const std::vector<ChannelMapping>& mappings, std::string* why);

private:
    const FeederOptions*    m_options;      // outlives the reloader
    std::string             m_said;         // the refusal last sent to the event log
};
