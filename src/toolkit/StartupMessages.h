// The toolkit's messages while the application object is being made: its warnings held back,
// and a fatal one (a platform that cannot start) said in one line of ours, with our exit code,
// instead of its long text and an abort.
#pragma once

#include <string>

class TStartupMessages {
  public:
    // What a fatal message is reported as ("voxel: " + what, then the toolkit's list of its
    // platforms when listPlatforms and it gives one), and the code the program then exits with.
    TStartupMessages(std::string what, int exitCode, bool listPlatforms);
    ~TStartupMessages(); // Done() if not yet done
    TStartupMessages(const TStartupMessages&) = delete;
    TStartupMessages& operator=(const TStartupMessages&) = delete;

    // Start-up is over: the toolkit's own handling comes back (later fatal messages abort as
    // it wants), and the warnings held back are passed to it in order.
    void Done();
};
