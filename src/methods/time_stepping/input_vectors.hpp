#pragma once
// The state of the backward march: the option values u at the n nodes followed
// by their operator image L·u, so that the explicit part of a stage needs no
// extra operator application. A view of 2·n values in storage the time stepper
// owns.

#include <cstddef>
#include <span>
#include <utility>

namespace vorel {

class InputVectors {
public:
    InputVectors(double* data, std::size_t nodes) noexcept : data_(data), nodes_(nodes) {}

    std::size_t nodes() const noexcept { return nodes_; }
    std::span<double> values() noexcept { return {data_, nodes_}; }
    std::span<double> images() noexcept { return {data_ + nodes_, nodes_}; }
    std::span<const double> values() const noexcept { return {data_, nodes_}; }
    std::span<const double> images() const noexcept { return {data_ + nodes_, nodes_}; }

    friend void swap(InputVectors& a, InputVectors& b) noexcept {
        std::swap(a.data_, b.data_);
        std::swap(a.nodes_, b.nodes_);
    }

private:
    double* data_;
    std::size_t nodes_;
};

}  // namespace vorel
