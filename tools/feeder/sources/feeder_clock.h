// The one instant the feeder started, shared by every channel: live files count
// their place from it, so two channels of one recording show the same moment.
#pragma once

double SecondsSinceFeederStart();
