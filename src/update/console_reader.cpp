#include "update/console_reader.h"

#include "framework/edit_ops.h"
#include "serial/receive_buffer.h"
#include "update/keyword_table.h"
#include "update/update_record.h"

void HandleConsoleLine(UpdateSession& session, std::string_view line) {
    std::string shown;
    shown.reserve(line.size() + 2);
    shown.append(line).append("\r\n");
    // The line shows before its keyword acts: the log's last line is the one that ended the run.
    if (fw::EditAppendAndShowEnd(session.log, shown) && session.record)
        session.record->ConsoleLine(line);

    const KeywordRule* rule = MatchKeyword(line);
    if (!rule) return;
    switch (rule->effect) {
        case KeywordEffect::DataRequest:
            fw::PostMessage(session.mainWindow, WM_DEVICE_DATAWAIT, 0, 0);
            break;
        case KeywordEffect::EndFailed:
            session.flags.result.store(0);
            session.flags.stop.store(1);
            break;
        case KeywordEffect::End:
            session.flags.stop.store(1);
            break;
    }
}

unsigned ConsoleReaderProc(UpdateSession& session) {
    ReceiveBuffer& buffer = *session.buffer;
    std::string line;
    while (session.flags.stop.load() == 0) {
        int c = buffer.GetByte();
        if (c == -1) {
            // Read "ended" before looking again: bytes that came before the hang-up are all stored
            // by the time it is recorded.
            bool ended = buffer.InputEnded();
            c = buffer.GetByte();
            if (c == -1 && ended) {
                // The device went away; every line it completed before is shown by now.
                session.flags.result.store(0);
                session.flags.stop.store(1);
                break;
            }
            if (c == -1) {
                buffer.WaitForData(session.flags.stop);
                continue;
            }
        }
        if (c == 0 || c >= 0x80 || c == '\r') continue;
        if (c != '\n') {
            line.push_back(static_cast<char>(c));
            continue;
        }
        HandleConsoleLine(session, line);
        line.clear();
    }
    fw::PostMessage(session.mainWindow, WM_UPDATE_END, 0, 0);
    return 0;
}
