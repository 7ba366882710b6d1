// The glyph cell: a grey-level image with one byte per pixel, its rows stored one after another
// without padding. The rasteriser writes the same value into what would be every colour channel
// of a pixel, so one byte carries the whole pixel; the sample image expands it to three channels
// again. The storage is kept across create() calls, so a cell reused from glyph to glyph costs no
// allocation once it has reached its largest size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

class GreyCell {
public:
    // Pixel rows and columns, and the first pixel: rows * cols bytes from `data` on. After packing
    // (packCell) the buffer holds the packed bytes instead, while rows and cols still describe the
    // shaped cell. Read-only for users: create() and swap() keep the three consistent.
    int32_t rows = 0;
    int32_t cols = 0;
    uint8_t* data = nullptr;

    GreyCell() = default;
    GreyCell(int32_t rowCount, int32_t colCount) { create(rowCount, colCount); }
    GreyCell(const GreyCell& other)
        : rows(other.rows), cols(other.cols), storage_(other.data, other.data + other.total()) {
        data = storage_.empty() ? nullptr : storage_.data();
    }
    GreyCell(GreyCell&& other) noexcept { swap(other); }
    GreyCell& operator=(GreyCell other) noexcept {
        swap(other);
        return *this;
    }

    // A rows x cols cell of zero pixels. A side of zero or less gives an empty cell.
    void create(int32_t rowCount, int32_t colCount) {
        createUncleared(rowCount, colCount);
        if (data != nullptr) std::memset(data, 0, total());
    }

    // A rows x cols cell whose pixels are about to be overwritten in full: like create(), without
    // clearing them.
    void createUncleared(int32_t rowCount, int32_t colCount) {
        if (rowCount <= 0 || colCount <= 0) {
            rows = cols = 0;
            data = nullptr;
            return;
        }
        rows = rowCount;
        cols = colCount;
        const size_t n = total();
        if (storage_.size() < n) storage_.resize(n);
        data = storage_.data();
    }

    void swap(GreyCell& other) noexcept {
        std::swap(rows, other.rows);
        std::swap(cols, other.cols);
        std::swap(data, other.data);
        storage_.swap(other.storage_);
    }

    bool empty() const { return data == nullptr || rows <= 0 || cols <= 0; }
    size_t total() const {
        return rows > 0 && cols > 0 ? static_cast<size_t>(rows) * static_cast<size_t>(cols) : 0;
    }
    uint8_t* ptr(int32_t row) {
        return data + static_cast<size_t>(row) * static_cast<size_t>(cols);
    }
    const uint8_t* ptr(int32_t row) const {
        return data + static_cast<size_t>(row) * static_cast<size_t>(cols);
    }
    uint8_t& at(int32_t row, int32_t col) { return ptr(row)[col]; }
    uint8_t at(int32_t row, int32_t col) const { return ptr(row)[col]; }

private:
    std::vector<uint8_t> storage_;
};
