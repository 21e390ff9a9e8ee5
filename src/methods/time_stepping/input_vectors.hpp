#pragma once
// The state of the backward march: the option values u at the n nodes followed
// by their operator image L·u, so that the explicit part of a stage needs no
// extra operator application.

#include <cstddef>
#include <span>
#include <vector>

namespace vorel {

class InputVectors {
public:
    explicit InputVectors(std::size_t nodes);

    std::size_t nodes() const noexcept { return nodes_; }
    std::span<double> values() noexcept { return {data_.data(), nodes_}; }
    std::span<double> images() noexcept { return {data_.data() + nodes_, nodes_}; }
    std::span<const double> values() const noexcept { return {data_.data(), nodes_}; }
    std::span<const double> images() const noexcept { return {data_.data() + nodes_, nodes_}; }

    friend void swap(InputVectors& a, InputVectors& b) noexcept {
        std::swap(a.nodes_, b.nodes_);
        a.data_.swap(b.data_);
    }

private:
    std::size_t nodes_;
    std::vector<double> data_;  // 2·nodes values
};

}  // namespace vorel
