#pragma once
// Where the console reader reports: the program that runs it shows the lines and answers the
// device's data request and the end of the run in its own way (a log window and posted messages,
// or a terminal).
//
// Thread contract: every call comes on the console reader's thread, one at a time, in the order of
// the device's lines. ShowLine may wait for the program (the window program's log is changed on
// the UI thread); DataRequested and RunEnded must not wait for the upload or the outcome report,
// which may be running on the thread that joins the reader.

#include <string_view>

class ConsoleSink {
  public:
    virtual ~ConsoleSink() = default;

    // One complete line as the log shows it: the device's text without CR, then "\r\n". False when
    // it could not be shown (the log is gone): then it is not recorded either.
    virtual bool ShowLine(std::string_view shown) = 0;
    // The device asks for the data file; the reader goes on reading.
    virtual void DataRequested() = 0;
    // The reader has left its loop; called exactly once, last.
    virtual void RunEnded() = 0;
};
