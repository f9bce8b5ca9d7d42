// Batch recording files: writing, chunked reading with pauses, messages.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <random>
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

class Batch : public ::testing::Test {
protected:
    TempDir tmp;
    std::vector<Message> messages;

    void SetUp() override {
        PixmillSetMessageHook(
            [](const char* text, const char* title, void* user) {
                static_cast<Batch*>(user)->messages.push_back({text, title});
            },
            this);
    }
    void TearDown() override { PixmillSetMessageHook(nullptr, nullptr); }

    std::string p(const char* name) { return tmp.path(name); }

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
}

TEST_F(Batch, RecordingPlaysBackWithPausesForAnyBufferThatHoldsAMarker) {
    // Pieces made of marker letters, so that partial matches are everywhere;
    // each ends in a byte the marker lacks, so no piece hides the next marker.
    std::mt19937 rng(7);
    const std::string letters = kMarker + "\n\x01\xff";
    std::vector<ByteVec> pieces;
    for (int i = 0; i < 40; ++i) {
        ByteVec piece(rng() % 150);
        for (auto& b : piece) b = uint8_t(letters[rng() % letters.size()]);
        if (i % 5 == 0 && !piece.empty()) {  // a cut-off marker inside the data
            ByteVec cut = bytes(kMarker.substr(0, 1 + rng() % 30) + "\n");
            piece.insert(piece.begin() + long(rng() % piece.size()), cut.begin(), cut.end());
        }
        piece.push_back('\n');
        pieces.push_back(piece);
    }
    int32_t h = BatchOpenForWrite(p("rec.cpb").c_str());
    ASSERT_GE(h, 0);
    std::vector<Chunk> expected;
    ByteVec all;
    for (size_t i = 0; i < pieces.size(); ++i) {
        ASSERT_EQ(BatchWrite(h, pieces[i].data(), int32_t(pieces[i].size())), 1);
        expected.push_back(dataChunk(pieces[i]));
        all = all + pieces[i];
        if (i % 3 == 2) {
            ASSERT_EQ(BatchWrite(h, reinterpret_cast<const unsigned char*>(kMarker.data()), 31), 1);
            expected.push_back(pauseChunk());
            all = all + bytes(kMarker);
        }
    }
    ASSERT_EQ(BatchClose(h), 1);
    ASSERT_EQ(readFile(p("rec.cpb")), all);

    // Glues the data between pauses, since chunk borders depend on the buffer.
    auto merged = [](const std::vector<Chunk>& chunks) {
        std::vector<Chunk> out;
        for (const Chunk& c : chunks) {
            if (!c.pause && !out.empty() && !out.back().pause)
                out.back().data = out.back().data + c.data;
            else
                out.push_back(c);
        }
        return out;
    };
    for (int32_t size : {31, 32, 33, 100, 1000, 65536}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(merged(readAll(all, size)), merged(expected));
    }
    // A buffer smaller than a marker can never hold one: such a reader gets
    // every byte as data, and still moves on with every call.
    for (int32_t size : {1, 7, 30}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(merged(readAll(all, size)), std::vector<Chunk>{dataChunk(all)});
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
    EXPECT_EQ(BatchOpenForWrite(p("nodir/x.cpb").c_str()), -1);
    EXPECT_EQ(BatchOpenForRead(p("missing.cpb").c_str()), -1);
    writeFile(p("data.cpb"), bytes("data"));
    int32_t r = BatchOpenForRead(p("data.cpb").c_str());
    ASSERT_GE(r, 0);
    EXPECT_EQ(BatchWrite(r, reinterpret_cast<const unsigned char*>("abc"), 3), 0);
    EXPECT_EQ(BatchWrite(r, nullptr, 0), 0);  // a zero-byte write still checks the handle
    unsigned char buf[64];
    int32_t count = 64, pause = 0;
    EXPECT_EQ(BatchRead(-1, buf, &count, &pause), 0);
    EXPECT_EQ(count, 0);
    count = -5;
    EXPECT_EQ(BatchRead(r, buf, &count, &pause), 0);
    EXPECT_EQ(BatchWrite(r, buf, -5), 0);
    EXPECT_EQ(BatchClose(r), 1);
    EXPECT_EQ(messages, (std::vector<Message>{
                            {"Error #2", "BatchMode Open for Write"},
                            {"Error #2", "BatchMode Open for Read"},
                            {"Error #9", "BatchMode Write"},
                            {"Error #9", "BatchMode Write"},
                            {"Error #9", "BatchMode Read"},
                            {"Error #22", "BatchMode Read"},
                            {"Error #22", "BatchMode Write"},
                        }));
}

TEST_F(Batch, NullPointersAreReportedLikeOtherBadArguments) {
    int32_t w = BatchOpenForWrite(p("n.cpb").c_str());
    ASSERT_GE(w, 0);
    EXPECT_EQ(BatchWrite(w, nullptr, 3), 0);
    EXPECT_EQ(BatchWrite(w, nullptr, 0), 1);  // nothing to write, nothing wrong
    EXPECT_EQ(BatchClose(w), 1);
    writeFile(p("n.cpb"), bytes("data"));
    int32_t r = BatchOpenForRead(p("n.cpb").c_str());
    ASSERT_GE(r, 0);
    unsigned char buf[8];
    int32_t count = 8, pause = 0;
    EXPECT_EQ(BatchRead(r, nullptr, &count, &pause), 0);
    EXPECT_EQ(BatchRead(r, buf, nullptr, &pause), 0);
    EXPECT_EQ(BatchRead(r, buf, &count, nullptr), 0);
    // Nothing was consumed by the refused calls.
    EXPECT_EQ(BatchRead(r, buf, &count, &pause), 1);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(BatchClose(r), 1);
    const Message bad{"Error #22", "BatchMode Read"};
    EXPECT_EQ(messages, (std::vector<Message>{{"Error #22", "BatchMode Write"}, bad, bad, bad}));
}

TEST_F(Batch, OnlyRegularFilesAreOpened) {
    ::mkdir(p("folder").c_str(), 0755);
    EXPECT_EQ(BatchOpenForRead(p("folder").c_str()), -1);
    EXPECT_EQ(BatchOpenForWrite(p("folder").c_str()), -1);
    EXPECT_EQ(BatchOpenForRead("/dev/null"), -1);
    EXPECT_EQ(BatchOpenForWrite("/dev/null"), -1);
    EXPECT_EQ(messages, (std::vector<Message>{
                            {"Error #21", "BatchMode Open for Read"},
                            {"Error #21", "BatchMode Open for Write"},
                            {"Error #22", "BatchMode Open for Read"},
                            {"Error #22", "BatchMode Open for Write"},
                        }));
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

TEST_F(Batch, PipeThatCannotGiveBytesBackIsAReadError) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    ByteVec content = bytes("data") + bytes(kMarker);
    ASSERT_EQ(::write(fds[1], content.data(), content.size()), ssize_t(content.size()));
    ::close(fds[1]);
    unsigned char buf[100];
    int32_t count = 100, pause = 0;
    EXPECT_EQ(BatchRead(fds[0], buf, &count, &pause), 0);
    EXPECT_EQ(count, 0);
    ::close(fds[0]);
    EXPECT_EQ(messages, (std::vector<Message>{{"Error #29", "BatchMode Read"}}));
}

}  // namespace
