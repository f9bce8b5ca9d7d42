// Batch recording files: writing, chunked reading with pauses, messages.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "bmp_builder.hpp"
#include "pixmill/pixmill.h"

using namespace testing_support;

namespace {

const std::string kMarker = "Morvex<PaUsE-pAuSe-PaUsE>xevroM";

ByteVec bytes(const std::string& s) { return ByteVec(s.begin(), s.end()); }
ByteVec filler(size_t n, uint8_t seed) {
    ByteVec v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t('a' + (i + seed) % 26);
    return v;
}
ByteVec operator+(ByteVec a, const ByteVec& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One BatchRead result: data, or a pause (empty bytes).
struct Chunk {
    bool pause;
    ByteVec data;
    bool operator==(const Chunk&) const = default;
};
Chunk pauseChunk() { return {true, {}}; }
Chunk dataChunk(ByteVec d) { return {false, std::move(d)}; }

void PrintTo(const Chunk& c, std::ostream* os) {
    if (c.pause)
        *os << "<pause>";
    else
        *os << '"' << std::string(c.data.begin(), c.data.end()) << '"';
}

struct Message {
    std::string text, title;
    bool operator==(const Message&) const = default;
};
void PrintTo(const Message& m, std::ostream* os) { *os << m.title << ": " << m.text; }

class Batch : public InTempDir {
protected:
    std::vector<Message> messages;

    void SetUp() override {
        PixmillSetMessageHook(
            [](const char* text, const char* title, void* user) {
                static_cast<Batch*>(user)->messages.push_back({text, title});
            },
            this);
    }
    void TearDown() override { PixmillSetMessageHook(nullptr, nullptr); }

    // Reads the whole file with one buffer size; each call's count must fit
    // the buffer, and a pause must be 31 zero bytes.
    std::vector<Chunk> readAll(const ByteVec& content, int32_t bufferSize) {
        writeFile(p("play.cpb"), content);
        int32_t h = BatchOpenForRead(p("play.cpb").c_str());
        EXPECT_GE(h, 0);
        std::vector<Chunk> out;
        std::vector<unsigned char> buf(size_t(bufferSize) + 16, 0xEE);
        for (size_t calls = 0; calls <= content.size() + 1; ++calls) {
            int32_t count = bufferSize, pause = -1;
            if (BatchRead(h, buf.data(), &count, &pause) == 0) break;
            EXPECT_GE(count, 1);
            EXPECT_LE(count, bufferSize);
            if (pause == 1) {
                EXPECT_EQ(count, 31);
                EXPECT_EQ(ByteVec(buf.begin(), buf.begin() + 31), ByteVec(31, 0));
                out.push_back(pauseChunk());
            } else {
                EXPECT_EQ(pause, 0);
                out.push_back(dataChunk(ByteVec(buf.begin(), buf.begin() + count)));
            }
            EXPECT_EQ(buf[size_t(bufferSize)], 0xEE) << "wrote past the buffer";
        }
        EXPECT_EQ(BatchClose(h), 1);
        EXPECT_TRUE(messages.empty());
        return out;
    }
};

// Where the pauses fall in files written by hand: a marker alone, at either
// end or twice; across the end of a full read; cut off by the end of the file;
// behind a doubled first letter or a broken near-marker.
TEST_F(Batch, APauseIsReadWhereverAWholeMarkerStands) {
    const ByteVec M = bytes(kMarker), partial = bytes(kMarker.substr(0, 10)), head = filler(990, 3),
                  tail = filler(50, 4), shorter = filler(980, 3), nearly = bytes("Morvex<PaUsE-X"),
                  doubled = bytes("abcM") + M + bytes("xyz");
    const Chunk P = pauseChunk();
    const auto D = [](ByteVec d) { return dataChunk(std::move(d)); };
    const struct {
        ByteVec content;
        int32_t buffer;
        std::vector<Chunk> chunks;
    } rows[] = {
        {M, 1000, {P}},
        {M, 31, {P}},
        {M + bytes("tail"), 1000, {P, D(bytes("tail"))}},
        {bytes("head") + M, 1000, {D(bytes("head")), P}},
        {M + M, 100, {P, P}},
        {{}, 1000, {}},
        {head + M + tail, 1000, {D(head), P, D(tail)}},
        {shorter + partial, 1000, {D(shorter + partial)}},
        {head + partial, 1000, {D(head), D(partial)}},
        {doubled, 1000, {D(doubled)}},
        {nearly + M, 1000, {D(nearly), P}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(readAll(r.content, r.buffer), r.chunks) << r.content.size() << " bytes, buffer " << r.buffer;
    // A buffer smaller than a marker never holds one: every byte comes as data, and every call moves on.
    const ByteVec all = head + M + nearly + M + tail;
    for (int32_t size : {1, 7, 30}) {
        ByteVec got;
        for (const Chunk& c : readAll(all, size)) got = got + (c.pause ? bytes("<pause>") : c.data);
        EXPECT_EQ(got, all) << "buffer " << size;
    }
}

TEST_F(Batch, OpenForWriteReplacesTheFileAndReadersMayShareIt) {
    writeFile(p("old.cpb"), ByteVec(100, 'x'));
    int32_t w = BatchOpenForWrite(p("old.cpb").c_str());
    ASSERT_GE(w, 0);
    EXPECT_TRUE(readFile(p("old.cpb")).empty());
    EXPECT_EQ(BatchWrite(w, reinterpret_cast<const unsigned char*>("abc"), 3), 1);
    EXPECT_EQ(BatchWrite(w, nullptr, 0), 1);
    int32_t r = BatchOpenForRead(p("old.cpb").c_str());
    ASSERT_GE(r, 0);
    unsigned char buf[10];
    int32_t count = 10, pause = 7;
    EXPECT_EQ(BatchRead(r, buf, &count, &pause), 1);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(pause, 0);
    EXPECT_EQ(BatchClose(r), 1);
    EXPECT_EQ(BatchClose(w), 1);
    EXPECT_EQ(BatchClose(w), 0);
    EXPECT_EQ(BatchClose(-1), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(Batch, FailuresAreReportedWithTheSystemErrorNumber) {
    writeFile(p("data.cpb"), bytes("data"));
    ::mkdir(p("folder").c_str(), 0755);
    const int32_t r = BatchOpenForRead(p("data.cpb").c_str()), w = BatchOpenForWrite(p("out.cpb").c_str());
    ASSERT_GE(r, 0);
    ASSERT_GE(w, 0);
    int fds[2];  // a pipe holding a marker: the read must give bytes back, which a pipe cannot
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    const ByteVec piped = bytes("data") + bytes(kMarker);
    ASSERT_EQ(::write(fds[1], piped.data(), piped.size()), ssize_t(piped.size()));
    ::close(fds[1]);
    const std::string folder = p("folder"), nodir = p("nodir/x.cpb"), missing = p("missing.cpb");
    unsigned char buf[64] = {};
    int32_t count = 0, pause = 0;
    const auto read = [&](int32_t h, int32_t n) { return count = n, BatchRead(h, buf, &count, &pause); };
    const std::string OW = "BatchMode Open for Write", OR = "BatchMode Open for Read", W = "BatchMode Write",
                      R = "BatchMode Read";
    const struct {
        const char* what;
        std::function<int32_t()> call;
        int32_t result;
        Message message;
    } rows[] = {
        {"write into no folder", [&] { return BatchOpenForWrite(nodir.c_str()); }, -1, {"Error #2", OW}},
        {"read a missing file", [&] { return BatchOpenForRead(missing.c_str()); }, -1, {"Error #2", OR}},
        {"read a folder", [&] { return BatchOpenForRead(folder.c_str()); }, -1, {"Error #21", OR}},
        {"write a folder", [&] { return BatchOpenForWrite(folder.c_str()); }, -1, {"Error #21", OW}},
        {"read a device", [&] { return BatchOpenForRead("/dev/null"); }, -1, {"Error #22", OR}},
        {"write a device", [&] { return BatchOpenForWrite("/dev/null"); }, -1, {"Error #22", OW}},
        {"write to a reader", [&] { return BatchWrite(r, buf, 3); }, 0, {"Error #9", W}},
        // A zero-byte write still checks the handle.
        {"write nothing to a reader", [&] { return BatchWrite(r, nullptr, 0); }, 0, {"Error #9", W}},
        {"write a negative count", [&] { return BatchWrite(w, buf, -5); }, 0, {"Error #22", W}},
        {"write from no buffer", [&] { return BatchWrite(w, nullptr, 3); }, 0, {"Error #22", W}},
        {"read a bad handle", [&] { return read(-1, 64) + count; }, 0, {"Error #9", R}},
        {"read a negative count", [&] { return read(r, -5) + count; }, 0, {"Error #22", R}},
        {"read into no buffer", [&] { return count = 8, BatchRead(r, nullptr, &count, &pause); }, 0, {"Error #22", R}},
        {"read without a count", [&] { return BatchRead(r, buf, nullptr, &pause); }, 0, {"Error #22", R}},
        {"read without a pause", [&] { return count = 8, BatchRead(r, buf, &count, nullptr); }, 0, {"Error #22", R}},
        {"read a pipe", [&] { return read(fds[0], 64) + count; }, 0, {"Error #29", R}},
    };
    for (const auto& row : rows) {
        messages.clear();
        EXPECT_EQ(row.call(), row.result) << row.what;
        EXPECT_EQ(messages, std::vector<Message>{row.message}) << row.what;
    }
    ::close(fds[0]);
    // Nothing was consumed by the refused calls, and nothing to write is nothing wrong.
    messages.clear();
    EXPECT_EQ(read(r, 8), 1);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(BatchWrite(w, nullptr, 0), 1);
    EXPECT_EQ(BatchClose(r), 1);
    EXPECT_EQ(BatchClose(w), 1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(Batch, ShortWriteIsAFailureWithItsOwnMessage) {
    // A non-blocking pipe takes only what fits, like a disk that fills up.
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    int capacity = ::fcntl(fds[1], F_GETPIPE_SZ);
    ASSERT_GT(capacity, 0);
    ByteVec big(size_t(capacity) + 1000, 'z');
    EXPECT_EQ(BatchWrite(fds[1], big.data(), int32_t(big.size())), 0);
    EXPECT_EQ(BatchWrite(fds[1], big.data(), 1), 0);  // full now: the call itself fails
    ::close(fds[0]);
    ::close(fds[1]);
    EXPECT_EQ(messages, (std::vector<Message>{
                            {"Error: Only wrote " + std::to_string(capacity) + " of " +
                                 std::to_string(big.size()) + " bytes",
                             "BatchMode Write"},
                            {"Error #11", "BatchMode Write"},
                        }));
}

TEST_F(Batch, WithoutAHookMessagesGoToStandardError) {
    PixmillSetMessageHook(nullptr, nullptr);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(BatchOpenForRead(p("missing.cpb").c_str()), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "BatchMode Open for Read: Error #2\n");
}

}  // namespace
