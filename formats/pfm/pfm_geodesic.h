#pragma once
// Geodesics on an ellipsoid by Vincenty's formulae. Angles in degrees,
// distances in metres, azimuths clockwise from north.

// Distance and forward azimuth from point 1 to point 2; 0, or -1 when the
// iteration does not converge (nearly antipodal points) or an input is not finite.
int pfm_geodesic_inverse(double a, double b, double lat1, double lon1, double lat2, double lon2,
                         double* distance, double* azimuth);
// The point at a distance and azimuth from point 1; 0 or -1.
int pfm_geodesic_direct(double a, double b, double lat1, double lon1, double distance, double azimuth,
                        double* lat2, double* lon2);

// WGS 84 semi-axes.
constexpr double PFM_WGS84_A = 6378137.0;
constexpr double PFM_WGS84_B = 6356752.314245;
