#pragma once
// The coefficients, band edges and steps of the portable exponential, error
// function and logarithm, shared by the scalar functions and their vector
// twins. The notices of the freely distributable math library they come from
// are in math/portable_math.cpp and LICENSES/fdlibm.txt.

namespace vorel::portable::constants {

// exp
inline constexpr double half[2] = {0.5, -0.5};
inline constexpr double huge = 1.0e+300;
inline constexpr double o_threshold = 7.09782712893383973096e+02;
inline constexpr double u_threshold = -7.45133219101941108420e+02;
inline constexpr double ln2_hi[2] = {6.93147180369123816490e-01, -6.93147180369123816490e-01};
inline constexpr double ln2_lo[2] = {1.90821492927058770002e-10, -1.90821492927058770002e-10};
inline constexpr double inv_ln2 = 1.44269504088896338700e+00;
inline constexpr double P1 = 1.66666666666666019037e-01;
inline constexpr double P2 = -2.77777777770155933842e-03;
inline constexpr double P3 = 6.61375632143793436117e-05;
inline constexpr double P4 = -1.65339022054652515390e-06;
inline constexpr double P5 = 4.13813679705723846039e-08;
inline constexpr double twom1000 = 9.33263618503218878990e-302;  // 2^-1000

// erf
inline constexpr double erx = 8.45062911510467529297e-01;
inline constexpr double efx = 1.28379167095512586316e-01;
inline constexpr double efx8 = 1.02703333676410069053e+00;
inline constexpr double pp0 = 1.28379167095512558561e-01, pp1 = -3.25042107247001499370e-01,
                 pp2 = -2.84817495755985104766e-02, pp3 = -5.77027029648944159157e-03,
                 pp4 = -2.37630166566501626084e-05;
inline constexpr double qq1 = 3.97917223959155352819e-01, qq2 = 6.50222499887672944485e-02,
                 qq3 = 5.08130628187576562776e-03, qq4 = 1.32494738004321644526e-04,
                 qq5 = -3.96022827877536812320e-06;
inline constexpr double pa0 = -2.36211856075265944077e-03, pa1 = 4.14856118683748331666e-01,
                 pa2 = -3.72207876035701323847e-01, pa3 = 3.18346619901161753674e-01,
                 pa4 = -1.10894694282396677476e-01, pa5 = 3.54783043256182359371e-02,
                 pa6 = -2.16637559486879084300e-03;
inline constexpr double qa1 = 1.06420880400844228286e-01, qa2 = 5.40397917702171048937e-01,
                 qa3 = 7.18286544141962662868e-02, qa4 = 1.26171219808761642112e-01,
                 qa5 = 1.36370839120290507362e-02, qa6 = 1.19844998467991074170e-02;
inline constexpr double ra0 = -9.86494403484714822705e-03, ra1 = -6.93858572707181764372e-01,
                 ra2 = -1.05586262253232909814e+01, ra3 = -6.23753324503260060396e+01,
                 ra4 = -1.62396669462573470355e+02, ra5 = -1.84605092906711035994e+02,
                 ra6 = -8.12874355063065934246e+01, ra7 = -9.81432934416914548592e+00;
inline constexpr double sa1 = 1.96512716674392571292e+01, sa2 = 1.37657754143519042600e+02,
                 sa3 = 4.34565877475229228821e+02, sa4 = 6.45387271733267880336e+02,
                 sa5 = 4.29008140027567833386e+02, sa6 = 1.08635005541779435134e+02,
                 sa7 = 6.57024977031928170135e+00, sa8 = -6.04244152148580987438e-02;
inline constexpr double rb0 = -9.86494292470009928597e-03, rb1 = -7.99283237680523006574e-01,
                 rb2 = -1.77579549177547519889e+01, rb3 = -1.60636384855821916062e+02,
                 rb4 = -6.37566443368389627722e+02, rb5 = -1.02509513161107724954e+03,
                 rb6 = -4.83519191608651397019e+02;
inline constexpr double sb1 = 3.03380607434824582924e+01, sb2 = 3.25792512996573918826e+02,
                 sb3 = 1.53672958608443695994e+03, sb4 = 3.19985821950859553908e+03,
                 sb5 = 2.55305040643316442583e+03, sb6 = 4.74528541206955367215e+02,
                 sb7 = -2.24409524465858183362e+01;
// Read at run time so that 1 - tiny is rounded by the FPU rather than folded.
inline const volatile double tiny = 1e-300;

// log
inline constexpr double two54 = 1.80143985094819840000e+16;  // 2^54
inline constexpr double Lg1 = 6.666666666666735130e-01, Lg2 = 3.999999999940941908e-01,
                        Lg3 = 2.857142874366239149e-01, Lg4 = 2.222219843214978396e-01,
                        Lg5 = 1.818357216161805012e-01, Lg6 = 1.531383769920937332e-01,
                        Lg7 = 1.479819860511658591e-01;

}  // namespace vorel::portable::constants
