#pragma once

#include <thread>

// The interface is designed around the family "Microsoft YaHei". Where the system lacks it,
// fonts asking for it fall back to an installed Simplified Chinese family instead of a
// Latin-only face with borrowed Chinese glyphs. Call once, before any widget exists.
void installUiFontFallback();

// Reads the system's font configuration on a thread of its own from construction on, so that it is
// ready when the first font asks for it: on Linux that reading is most of what the first font costs,
// and it needs no application object, so it runs beside the application object's construction.
// Windows has nothing of the kind to read. wait(), or the destructor, waits for the thread.
class FontConfigPreload
{
public:
    FontConfigPreload();
    ~FontConfigPreload();
    FontConfigPreload(const FontConfigPreload &) = delete;
    FontConfigPreload &operator=(const FontConfigPreload &) = delete;

    void wait();

private:
    std::thread m_thread;
};
