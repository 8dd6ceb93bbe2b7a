// A growing byte buffer with the little-endian writes a RIFF file needs, and
// patching of size fields once the size is known.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace recsim {

class ByteSink {
public:
    explicit ByteSink(std::vector<uint8_t> &out) : out_(out) {}

    uint32_t Offset() const { return static_cast<uint32_t>(out_.size()); }
    void U8(uint8_t v) { out_.push_back(v); }
    void U16(uint16_t v) {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    // Exactly four characters: shorter ids are filled with blanks.
    void FourCc(const std::string &id) {
        for (size_t i = 0; i < 4; ++i) U8(i < id.size() ? static_cast<uint8_t>(id[i]) : ' ');
    }
    void Bytes(const uint8_t *data, size_t n) { out_.insert(out_.end(), data, data + n); }
    void Bytes(const std::vector<uint8_t> &data) { Bytes(data.data(), data.size()); }
    void Zeros(size_t n) { out_.insert(out_.end(), n, 0); }
    // A text field of `width` bytes: the text cut to width - 1, zero filled.
    void Text(const std::string &text, size_t width) {
        const size_t n = text.size() < width ? text.size() : width - 1;
        Bytes(reinterpret_cast<const uint8_t *>(text.data()), n);
        Zeros(width - n);
    }
    void PatchU32(uint32_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }

    // Opens a chunk (and a list when listType is given); returns the offset
    // of its size field for Close.
    uint32_t Open(const std::string &id, const std::string &listType = {}) {
        FourCc(id);
        const uint32_t sizeAt = Offset();
        U32(0);
        if (!listType.empty()) FourCc(listType);
        return sizeAt;
    }
    // Writes the chunk's size: the bytes behind its size field.
    void Close(uint32_t sizeAt) { PatchU32(sizeAt, Offset() - sizeAt - 4); }

private:
    std::vector<uint8_t> &out_;
};

}  // namespace recsim
