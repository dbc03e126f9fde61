// Little-endian reads of the help file's binary tables.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace chm {

// Little-endian reads that never step outside the buffer: a read past the
// end yields 0 and marks the reader as short.
class Bytes {
public:
    explicit Bytes(std::string_view data) : data_(data) {}
    size_t size() const { return data_.size(); }
    bool has(size_t offset, size_t length) const { return offset <= data_.size() && length <= data_.size() - offset; }
    uint16_t u16(size_t offset) const
    {
        if (!has(offset, 2))
            return 0;
        return static_cast<uint16_t>(byte(offset) | (byte(offset + 1) << 8));
    }
    uint32_t u32(size_t offset) const
    {
        if (!has(offset, 4))
            return 0;
        return byte(offset) | (byte(offset + 1) << 8) | (byte(offset + 2) << 16) | (byte(offset + 3) << 24);
    }
    int32_t i32(size_t offset) const { return static_cast<int32_t>(u32(offset)); }
    uint8_t u8(size_t offset) const { return has(offset, 1) ? static_cast<uint8_t>(data_[offset]) : 0; }
    // Up to `length` bytes from `offset`, cut at the end of the buffer.
    std::string_view slice(size_t offset, size_t length) const
    {
        return offset >= data_.size() ? std::string_view() : data_.substr(offset, length);
    }
    // A zero-terminated string starting at `offset` and ending at the
    // terminator, at `offset + maxLength`, or at the end of the buffer.
    std::string cstr(size_t offset, size_t maxLength = std::string_view::npos) const
    {
        if (offset >= data_.size())
            return {};
        std::string_view rest = data_.substr(offset, maxLength);
        return std::string(rest.substr(0, rest.find('\0')));
    }

private:
    uint32_t byte(size_t offset) const { return static_cast<uint8_t>(data_[offset]); }

    std::string_view data_;
};

} // namespace chm
