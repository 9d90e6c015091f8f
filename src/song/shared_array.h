#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

namespace kellix {

// An array of plain values shared between copies until one of them changes it: copying a song
// (for undo, for a recovery write, for a play command) costs one pointer per array, and a
// change copies only the arrays on its way. Only one thread may change the copies that share
// an array; reading is free.
template <class T> class SharedArray {
  public:
    SharedArray() = default;
    SharedArray(std::initializer_list<T> values)
        : data_(values.size() ? std::make_shared<std::vector<T>>(values) : nullptr) {}
    explicit SharedArray(std::vector<T> values)
        : data_(values.empty() ? nullptr : std::make_shared<std::vector<T>>(std::move(values))) {}

    int32_t size() const { return data_ ? static_cast<int32_t>(data_->size()) : 0; }
    bool empty() const { return size() == 0; }
    const T& operator[](int32_t i) const { return (*data_)[static_cast<std::size_t>(i)]; }
    const T* begin() const { return data_ ? data_->data() : nullptr; }
    const T* end() const { return data_ ? data_->data() + data_->size() : nullptr; }
    const T* data() const { return begin(); }

    // The array to change, no longer shared with any copy.
    std::vector<T>& Edit() {
        if (!data_) {
            data_ = std::make_shared<std::vector<T>>();
        } else if (data_.use_count() > 1) {
            data_ = std::make_shared<std::vector<T>>(*data_);
        }
        return *data_;
    }
    T& EditAt(int32_t i) { return Edit()[static_cast<std::size_t>(i)]; }

    // Removes element i keeping the order of the others; an index outside does nothing.
    void EraseAt(int32_t i) {
        if (i < 0 || i >= size()) {
            return;
        }
        if (size() == 1) {
            data_.reset();
            return;
        }
        std::vector<T>& values = Edit();
        values.erase(values.begin() + i);
    }

    // n elements: the first min(n, size) kept, new ones value-initialised; n < 1 empties it.
    void Resize(int32_t n) {
        if (n <= 0) {
            data_.reset();
        } else if (n != size()) {
            Edit().resize(static_cast<std::size_t>(n));
        }
    }

    // What identifies the shared array (null when empty): two copies that share it are equal.
    const void* Identity() const { return data_.get(); }
    std::size_t Bytes() const { return data_ ? data_->size() * sizeof(T) : 0; }

    friend bool operator==(const SharedArray& a, const SharedArray& b) {
        return a.data_ == b.data_ || (a.size() == 0 && b.size() == 0) ||
               (a.data_ && b.data_ && *a.data_ == *b.data_);
    }

  private:
    std::shared_ptr<std::vector<T>> data_; // null for an empty array
};

} // namespace kellix
