#include "CWId3Tag.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

constexpr size_t kHeaderSize = 10;

bool isVersion4(const std::vector<unsigned char>& tag) { return tag.size() > 3 && tag[3] == 4; }

size_t syncsafe(const unsigned char* b)
{
    return size_t(b[0] & 0x7f) << 21 | size_t(b[1] & 0x7f) << 14 | size_t(b[2] & 0x7f) << 7 | size_t(b[3] & 0x7f);
}

void putSize(unsigned char* b, size_t size, bool safe)
{
    for (int i = 0; i < 4; ++i)
        b[i] = safe ? (size >> (7 * (3 - i))) & 0x7f : (size >> (8 * (3 - i))) & 0xff;
}

// Calls visit(offset, id, bodySize) for every frame; returns where the frames end (padding or the
// tag's end), or nothing when a frame does not fit.
template <typename Visit> std::optional<size_t> walkFrames(const std::vector<unsigned char>& tag, Visit visit)
{
    if (tag.size() < kHeaderSize || !std::equal(tag.begin(), tag.begin() + 3, "ID3"))
        return std::nullopt;
    const size_t end = std::min(tag.size(), kHeaderSize + syncsafe(tag.data() + 6));
    const bool v24 = isVersion4(tag);
    size_t at = kHeaderSize;
    while (at + kHeaderSize <= end && tag[at] != 0) {
        const unsigned char* h = tag.data() + at;
        const size_t size = v24 ? syncsafe(h + 4) : (size_t(h[4]) << 24 | size_t(h[5]) << 16 | size_t(h[6]) << 8 | size_t(h[7]));
        if (size == 0 || at + kHeaderSize + size > end)
            return std::nullopt;
        if (!visit(at, h, size))
            return at;
        at += kHeaderSize + size;
    }
    return at;
}

void appendFrame(std::vector<unsigned char>& out, const char* id, const std::vector<unsigned char>& body, bool v24)
{
    out.insert(out.end(), id, id + 4);
    out.resize(out.size() + 4);
    putSize(out.data() + out.size() - 4, body.size(), v24);
    out.push_back(0);
    out.push_back(0);
    out.insert(out.end(), body.begin(), body.end());
}

void appendNumber(std::vector<unsigned char>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back((value >> shift) & 0xff);
}

// A text frame body: UTF-8 in 2.4, UTF-16 with a byte order mark in 2.3.
std::vector<unsigned char> textBody(const QString& text, bool v24)
{
    std::vector<unsigned char> body;
    if (v24) {
        const QByteArray utf8 = text.toUtf8();
        body.push_back(3);
        body.insert(body.end(), utf8.begin(), utf8.end());
        return body;
    }
    body = {1, 0xff, 0xfe};
    for (const QChar c : text) {
        body.push_back(c.unicode() & 0xff);
        body.push_back(c.unicode() >> 8);
    }
    return body;
}

uint32_t milliseconds(CMTime time) { return uint32_t(std::clamp<double>(std::llround(CMTimeGetSeconds(time) * 1000), 0, 0xfffffffe)); }

} // namespace

void CWId3Tag::markPictureAsFrontCover(std::vector<unsigned char>& tag)
{
    constexpr unsigned char kFrontCover = 3;
    // The frame body is: text encoding, MIME type ending in a zero, picture type, description, data.
    walkFrames(tag, [&](size_t at, const unsigned char* h, size_t size) {
        if (!std::equal(h, h + 4, "APIC"))
            return true;
        for (size_t i = at + kHeaderSize + 1; i + 1 < at + kHeaderSize + size; ++i)
            if (tag[i] == 0) {
                tag[i + 1] = kFrontCover;
                break;
            }
        return false;
    });
}

void CWId3Tag::appendChapters(std::vector<unsigned char>& tag, const std::vector<MediaChapter>& chapters)
{
    if (chapters.empty())
        return;
    if (tag.empty())
        tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
    const std::optional<size_t> framesEnd = walkFrames(tag, [](size_t, const unsigned char*, size_t) { return true; });
    if (!framesEnd)
        return;
    const bool v24 = isVersion4(tag);
    tag.resize(*framesEnd);

    // The table of contents names at most 255 chapters; every chapter still gets its frame.
    std::vector<unsigned char> toc{'t', 'o', 'c', 0, 0x03 /* top level, ordered */, (unsigned char)std::min<size_t>(chapters.size(), 255)};
    for (size_t i = 0; i < std::min<size_t>(chapters.size(), 255); ++i) {
        const std::string id = "chp" + std::to_string(i);
        toc.insert(toc.end(), id.begin(), id.end() + 1);
    }
    appendFrame(tag, "CTOC", toc, v24);
    for (size_t i = 0; i < chapters.size(); ++i) {
        const std::string id = "chp" + std::to_string(i);
        std::vector<unsigned char> body(id.begin(), id.end() + 1);
        appendNumber(body, milliseconds(chapters[i].timeRange.start));
        appendNumber(body, milliseconds(CMTimeRangeGetEnd(chapters[i].timeRange)));
        appendNumber(body, 0xffffffff); // no byte offsets: players go by the times
        appendNumber(body, 0xffffffff);
        if (!chapters[i].title.isEmpty())
            appendFrame(body, "TIT2", textBody(chapters[i].title, v24), v24);
        appendFrame(tag, "CHAP", body, v24);
    }
    putSize(tag.data() + 6, tag.size() - kHeaderSize, true);
}
