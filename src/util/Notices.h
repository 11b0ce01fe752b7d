// Notices the user must act on (a map that cannot be saved, another copy's save kept aside, a
// map that was not read): said on standard error at once and held for the window, since a
// program started from a menu has no terminal.
#pragma once

#include <string>
#include <vector>

// Writes "voxel: " + text on standard error and holds text for the window; a text already
// said in this run is said again on standard error only.
void SayNotice(const std::string& text);
// Whether notices wait to be shown (cheap: read on every frame).
bool NoticesWaiting() noexcept;
// The notices held since the last take, in order.
std::vector<std::string> TakeNotices();
