// The status page's three answers, made from a snapshot: JSON for scripts, the
// metrics in the Prometheus text format 0.0.4, and the page for a person, which
// fetches the JSON itself.
#pragma once
#include <string>

#include "status_snapshot.h"

constexpr size_t STATUS_EVENT_LINES = 100;     // the latest event lines a snapshot holds

extern const char STATUS_JSON_TYPE[];
extern const char STATUS_METRICS_TYPE[];
extern const char STATUS_PAGE_TYPE[];

std::string StatusJson(const StatusSnapshot& snapshot);
std::string StatusMetrics(const StatusSnapshot& snapshot);
// The same text whatever the state: its script fills it in from the JSON.
const std::string& StatusPage();
