#pragma once
// What both pricing engines return.

#include <optional>

namespace vorel {

struct PricingResult {
    double price = 0.0;
    double delta = 0.0;  // per unit of spot
    double gamma = 0.0;  // per unit of spot, squared
    double theta = 0.0;  // dV/dt per year of calendar time
    std::optional<double> vega;  // per unit of volatility; closed form only
    std::optional<double> rho;   // per unit of rate; closed form only
};

}  // namespace vorel
