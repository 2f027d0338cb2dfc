// The device's bytes through the real console reader: the input arrives in the receive buffer as
// the port watcher stores it, then the line hangs up. Whatever the bytes, the log shows clean
// lines, a data request follows its line, the run ends once, only a failure keyword or the hang-up
// clears the result, and the session notes which of them ended the run.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "serial/receive_buffer.h"
#include "update/console_reader.h"
#include "update/keyword_table.h"

namespace {

using fuzz::Check;

struct Call {
    enum Kind { kLine, kDataRequest, kRunEnded } kind;
    std::string text;
};

class RecordingSink final : public ConsoleSink {
  public:
    bool ShowLine(std::string_view shown) override {
        calls.push_back({Call::kLine, {shown.begin(), shown.end()}});
        return true;
    }
    void DataRequested() override { calls.push_back({Call::kDataRequest, {}}); }
    void RunEnded() override { calls.push_back({Call::kRunEnded, {}}); }
    std::vector<Call> calls;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Without a reader running alongside, the buffer holds this much.
    size = std::min<std::size_t>(size, RX_BUFFER_SIZE);
    ReceiveBuffer buffer;
    const std::atomic<int> connected{1};
    for (std::size_t at = 0; at < size; at += RX_CHUNK) {
        Check(buffer.MakeRoom(connected));
        buffer.Append(data + at, static_cast<int>(std::min<std::size_t>(RX_CHUNK, size - at)));
    }
    buffer.MarkInputEnded();

    UpdateSession session;
    session.buffer = &buffer;
    RecordingSink sink;
    ConsoleReaderProc(session, sink);

    const std::vector<Call>& calls = sink.calls;
    Check(!calls.empty() && calls.back().kind == Call::kRunEnded);
    Check(std::count_if(calls.begin(), calls.end(),
                        [](const Call& c) { return c.kind == Call::kRunEnded; }) == 1);
    Check(session.flags.stop.load() != 0);

    // The shown lines are the complete lines of the bytes read, without NUL, CR and bytes from
    // 0x80.
    const auto read = static_cast<std::size_t>(buffer.ReadPosition());
    std::string expected;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < read; ++i) {
        const std::uint8_t c = data[i];
        if (c == '\n') {
            expected.append("\r\n");
            lineStart = expected.size();
        } else if (c != 0 && c != '\r' && c < 0x80) {
            expected.push_back(static_cast<char>(c));
        }
    }
    expected.resize(lineStart);
    std::string shown;
    const KeywordRule* ending = nullptr;  // the last line's keyword
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].kind == Call::kDataRequest) Check(i > 0 && calls[i - 1].kind == Call::kLine);
        if (calls[i].kind != Call::kLine) continue;
        const std::string_view line(calls[i].text);
        Check(line.ends_with("\r\n"));
        const std::string_view text = line.substr(0, line.size() - 2);
        Check(std::none_of(text.begin(), text.end(), [](char c) {
            return c == '\r' || c == '\n' || c == '\0' || static_cast<std::uint8_t>(c) >= 0x80;
        }));
        // A data request comes right after its line, and every such line brings one.
        const bool requested = i + 1 < calls.size() && calls[i + 1].kind == Call::kDataRequest;
        Check(requested == (text.find("bootmode=DATAWAIT") != std::string_view::npos));
        // Only the last line may end the run.
        Check(!ending || ending->effect == KeywordEffect::kDataRequest);
        ending = MatchKeyword(text);
        shown.append(line);
    }
    Check(shown == expected);

    const bool endKeyword = ending && ending->effect != KeywordEffect::kDataRequest;
    const bool failureKeyword = ending && ending->effect == KeywordEffect::kEndFailed;
    // Reading stops right after an end keyword's line, else at the end of the input.
    Check(endKeyword ? data[read - 1] == '\n' : read == size);
    // The result is cleared by a failure keyword, or by the hang-up when no end keyword came.
    Check((session.flags.result.load() == 0) == (failureKeyword || !endKeyword));
    // The session notes what ended the run: the last line's keyword, else the hang-up.
    const EndCause cause = !endKeyword      ? EndCause::kHangUp
                           : failureKeyword ? EndCause::kDeviceFailure
                                            : EndCause::kDeviceSuccess;
    Check(session.endCause.load() == cause);
    Check(session.endKeyword.load() == (endKeyword ? ending : nullptr));
    return 0;
}
