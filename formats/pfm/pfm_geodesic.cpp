#include "formats/pfm/pfm_geodesic.h"

#include <cmath>

namespace {

const double kPi = 3.14159265358979323846;
const double kRad = kPi / 180.0;
const int kMaxIterations = 200;
const double kTolerance = 1e-13;

bool isFiniteValue(double v) { return std::isfinite(v); }

}  // namespace

int pfm_geodesic_inverse(double a, double b, double lat1, double lon1, double lat2, double lon2,
                         double* distance, double* azimuth) {
    if (!(a > 0.0) || !(b > 0.0) || !isFiniteValue(a) || !isFiniteValue(b) || !isFiniteValue(lat1) || !isFiniteValue(lon1) ||
        !isFiniteValue(lat2) || !isFiniteValue(lon2))
        return -1;
    const double f = (a - b) / a;
    const double L = (lon2 - lon1) * kRad;
    const double U1 = std::atan((1.0 - f) * std::tan(lat1 * kRad));
    const double U2 = std::atan((1.0 - f) * std::tan(lat2 * kRad));
    const double sinU1 = std::sin(U1), cosU1 = std::cos(U1);
    const double sinU2 = std::sin(U2), cosU2 = std::cos(U2);

    double lambda = L, sinSigma = 0.0, cosSigma = 1.0, sigma = 0.0, cosSqAlpha = 1.0, cos2SigmaM = 0.0;
    double sinLambda = 0.0, cosLambda = 1.0;
    bool converged = false;
    for (int i = 0; i < kMaxIterations; ++i) {
        sinLambda = std::sin(lambda);
        cosLambda = std::cos(lambda);
        const double t1 = cosU2 * sinLambda;
        const double t2 = cosU1 * sinU2 - sinU1 * cosU2 * cosLambda;
        sinSigma = std::sqrt(t1 * t1 + t2 * t2);
        if (sinSigma == 0.0) {  // coincident points
            if (distance) *distance = 0.0;
            if (azimuth) *azimuth = 0.0;
            return 0;
        }
        cosSigma = sinU1 * sinU2 + cosU1 * cosU2 * cosLambda;
        sigma = std::atan2(sinSigma, cosSigma);
        const double sinAlpha = cosU1 * cosU2 * sinLambda / sinSigma;
        cosSqAlpha = 1.0 - sinAlpha * sinAlpha;
        cos2SigmaM = cosSqAlpha != 0.0 ? cosSigma - 2.0 * sinU1 * sinU2 / cosSqAlpha : 0.0;
        const double C = f / 16.0 * cosSqAlpha * (4.0 + f * (4.0 - 3.0 * cosSqAlpha));
        const double previous = lambda;
        lambda = L + (1.0 - C) * f * sinAlpha *
                         (sigma + C * sinSigma * (cos2SigmaM + C * cosSigma * (-1.0 + 2.0 * cos2SigmaM * cos2SigmaM)));
        if (std::fabs(lambda - previous) < kTolerance) {
            converged = true;
            break;
        }
    }
    if (!converged) return -1;
    const double uSq = cosSqAlpha * (a * a - b * b) / (b * b);
    const double A = 1.0 + uSq / 16384.0 * (4096.0 + uSq * (-768.0 + uSq * (320.0 - 175.0 * uSq)));
    const double B = uSq / 1024.0 * (256.0 + uSq * (-128.0 + uSq * (74.0 - 47.0 * uSq)));
    const double deltaSigma =
        B * sinSigma *
        (cos2SigmaM + B / 4.0 *
                          (cosSigma * (-1.0 + 2.0 * cos2SigmaM * cos2SigmaM) -
                           B / 6.0 * cos2SigmaM * (-3.0 + 4.0 * sinSigma * sinSigma) *
                               (-3.0 + 4.0 * cos2SigmaM * cos2SigmaM)));
    if (distance) *distance = b * A * (sigma - deltaSigma);
    if (azimuth) {
        double az = std::atan2(cosU2 * sinLambda, cosU1 * sinU2 - sinU1 * cosU2 * cosLambda) / kRad;
        if (az < 0.0) az += 360.0;
        *azimuth = az;
    }
    return 0;
}

int pfm_geodesic_direct(double a, double b, double lat1, double lon1, double distance, double azimuth,
                        double* lat2, double* lon2) {
    if (!(a > 0.0) || !(b > 0.0) || !isFiniteValue(a) || !isFiniteValue(b) || !isFiniteValue(lat1) || !isFiniteValue(lon1) ||
        !isFiniteValue(distance) || !isFiniteValue(azimuth))
        return -1;
    const double f = (a - b) / a;
    const double alpha1 = azimuth * kRad;
    const double sinAlpha1 = std::sin(alpha1), cosAlpha1 = std::cos(alpha1);
    const double tanU1 = (1.0 - f) * std::tan(lat1 * kRad);
    const double cosU1 = 1.0 / std::sqrt(1.0 + tanU1 * tanU1), sinU1 = tanU1 * cosU1;
    const double sigma1 = std::atan2(tanU1, cosAlpha1);
    const double sinAlpha = cosU1 * sinAlpha1;
    const double cosSqAlpha = 1.0 - sinAlpha * sinAlpha;
    const double uSq = cosSqAlpha * (a * a - b * b) / (b * b);
    const double A = 1.0 + uSq / 16384.0 * (4096.0 + uSq * (-768.0 + uSq * (320.0 - 175.0 * uSq)));
    const double B = uSq / 1024.0 * (256.0 + uSq * (-128.0 + uSq * (74.0 - 47.0 * uSq)));

    double sigma = distance / (b * A), cos2SigmaM = 0.0, sinSigma = 0.0, cosSigma = 1.0;
    bool converged = false;
    for (int i = 0; i < kMaxIterations; ++i) {
        cos2SigmaM = std::cos(2.0 * sigma1 + sigma);
        sinSigma = std::sin(sigma);
        cosSigma = std::cos(sigma);
        const double deltaSigma =
            B * sinSigma *
            (cos2SigmaM + B / 4.0 *
                              (cosSigma * (-1.0 + 2.0 * cos2SigmaM * cos2SigmaM) -
                               B / 6.0 * cos2SigmaM * (-3.0 + 4.0 * sinSigma * sinSigma) *
                                   (-3.0 + 4.0 * cos2SigmaM * cos2SigmaM)));
        const double previous = sigma;
        sigma = distance / (b * A) + deltaSigma;
        if (std::fabs(sigma - previous) < kTolerance) {
            converged = true;
            break;
        }
    }
    if (!converged) return -1;
    cos2SigmaM = std::cos(2.0 * sigma1 + sigma);
    sinSigma = std::sin(sigma);
    cosSigma = std::cos(sigma);
    const double t = sinU1 * sinSigma - cosU1 * cosSigma * cosAlpha1;
    const double phi2 = std::atan2(sinU1 * cosSigma + cosU1 * sinSigma * cosAlpha1,
                                   (1.0 - f) * std::sqrt(sinAlpha * sinAlpha + t * t));
    const double lambda = std::atan2(sinSigma * sinAlpha1, cosU1 * cosSigma - sinU1 * sinSigma * cosAlpha1);
    const double C = f / 16.0 * cosSqAlpha * (4.0 + f * (4.0 - 3.0 * cosSqAlpha));
    const double L = lambda - (1.0 - C) * f * sinAlpha *
                                  (sigma + C * sinSigma * (cos2SigmaM + C * cosSigma * (-1.0 + 2.0 * cos2SigmaM * cos2SigmaM)));
    if (lat2) *lat2 = phi2 / kRad;
    if (lon2) *lon2 = lon1 + L / kRad;
    return 0;
}
