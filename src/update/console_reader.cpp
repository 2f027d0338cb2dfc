#include "update/console_reader.h"

#include <string>

#include "serial/receive_buffer.h"
#include "update/keyword_table.h"

namespace {

// Notes the keyword that ended the run, then the cause, unless something else ended it first.
bool NoteKeywordEnd(UpdateSession& session, const KeywordRule& rule, EndCause cause) {
    if (session.endCause.load() != EndCause::kNone) return false;
    session.endKeyword.store(&rule);
    return session.NoteEnd(cause);
}

void HandleConsoleLine(UpdateSession& session, ConsoleSink& sink, std::string_view line) {
    std::string shown;
    shown.reserve(line.size() + 2);
    shown.append(line).append("\r\n");
    // The line shows before its keyword acts: the log's last line is the one that ended the run.
    sink.ShowLine(shown);

    const KeywordRule* rule = MatchKeyword(line);
    if (!rule) return;
    switch (rule->effect) {
        case KeywordEffect::kDataRequest:
            sink.DataRequested();
            break;
        case KeywordEffect::kEndFailed:
            if (NoteKeywordEnd(session, *rule, EndCause::kDeviceFailure))
                session.flags.result.store(0);
            session.flags.stop.store(1);
            break;
        case KeywordEffect::kEnd:
            NoteKeywordEnd(session, *rule, EndCause::kDeviceSuccess);
            session.flags.stop.store(1);
            break;
    }
}

}  // namespace

unsigned ConsoleReaderProc(UpdateSession& session, ConsoleSink& sink) {
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
                if (session.NoteEnd(EndCause::kHangUp)) session.flags.result.store(0);
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
        HandleConsoleLine(session, sink, line);
        line.clear();
    }
    sink.RunEnded();
    return 0;
}
