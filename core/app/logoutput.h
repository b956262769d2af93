#pragma once

// Where diagnostics go. Qt writes them to the console, or on Windows to the debugger when a GUI
// program has no console; a Windows program whose standard error was redirected to a file or a
// pipe (`tessaly.exe 2> log.txt`, or a parent process reading it) writes them there too.
// Call first thing in main().
void installLogOutput();
