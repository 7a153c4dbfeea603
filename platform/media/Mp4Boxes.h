// Reading the box structure of MPEG-4 / QuickTime files, for the little the media layer does with
// them directly (frame timing from the sample table, exact edit lists). Every read is bounds-checked:
// damaged boxes make a view bad or a walk fail, never read outside the data.
#pragma once

#include <QByteArray>
#include <QFile>

#include <cstdint>
#include <functional>
#include <string_view>

class Mp4Bytes {
public:
    Mp4Bytes(const uchar* data, qint64 size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    qint64 remaining() const { return size_ - pos_; }
    const uchar* here() const { return data_ + pos_; }
    void skip(qint64 n);
    uint64_t read(int bytes);

private:
    const uchar* data_;
    qint64 size_;
    qint64 pos_ = 0;
    bool ok_ = true;
};

// Calls visit(type, payload) for each box of a container payload; false when the layout is broken.
bool forEachMp4Box(Mp4Bytes bytes, const std::function<void(std::string_view type, Mp4Bytes payload)>& visit);
// The payload of the first child box of the type; found tells whether there was one.
Mp4Bytes childMp4Box(Mp4Bytes parent, std::string_view type, bool& found);

struct Mp4Moov {
    QByteArray bytes;   // the moov payload, empty when there is none or it cannot be read
    qint64 offset = -1; // where that payload starts in the file
    int headerSize = 8; // of the moov box itself (16 with a 64-bit size)
};
// Finds the moov box by walking the top-level boxes, seeking over the media data.
Mp4Moov readMoov(QFile& file);
