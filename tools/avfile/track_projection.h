// The projection of the track picture, shared by every drawing of a GPS
// route: an equirectangular projection about the route's middle latitude,
// fitted into a drawing area with a margin, so that distances keep their
// proportions at a vehicle's scale; and the speed colours of its legs.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "avfile/avfile.h"

class CTrackProjection {
public:
    static constexpr double kMetresPerDegree = 111320.0;

    // Fits the bounds into `width` x `height` less `margin` on every side,
    // centred.
    CTrackProjection(double minLat, double maxLat, double minLon, double maxLon, double width, double height,
                     double margin)
        : m_minLon(minLon), m_maxLat(maxLat) {
        m_cosLat = std::cos((minLat + maxLat) / 2 * std::numbers::pi / 180);
        m_spanX = std::max((maxLon - minLon) * m_cosLat * kMetresPerDegree, 1.0);
        m_spanY = std::max((maxLat - minLat) * kMetresPerDegree, 1.0);
        m_scale = std::min((width - 2 * margin) / m_spanX, (height - 2 * margin) / m_spanY);
        m_offsetX = margin + ((width - 2 * margin) - m_spanX * m_scale) / 2;
        m_offsetY = margin + ((height - 2 * margin) - m_spanY * m_scale) / 2;
    }

    double X(double longitude) const { return m_offsetX + (longitude - m_minLon) * m_cosLat * kMetresPerDegree * m_scale; }
    double Y(double latitude) const { return m_offsetY + (m_maxLat - latitude) * kMetresPerDegree * m_scale; }
    double X(const GpsBlock &g) const { return X(g.longitude); }
    double Y(const GpsBlock &g) const { return Y(g.latitude); }
    // Pixels per metre; the route's extent in metres.
    double Scale() const { return m_scale; }
    double SpanX() const { return m_spanX; }
    double SpanY() const { return m_spanY; }

private:
    double m_minLon, m_maxLat;
    double m_cosLat = 1, m_spanX = 1, m_spanY = 1, m_scale = 1, m_offsetX = 0, m_offsetY = 0;
};

// Blue for the slowest, through green, to red for the fastest.
inline std::string SpeedColour(double kmh, double slowest, double fastest) {
    const double share = fastest > slowest ? std::clamp((kmh - slowest) / (fastest - slowest), 0.0, 1.0) : 0.0;
    char text[40];
    std::snprintf(text, sizeof text, "hsl(%.0f,85%%,45%%)", 240.0 * (1.0 - share));
    return text;
}

// A round length for a scale bar, about a fifth of the drawing.
inline double ScaleLength(double metresAcross) {
    const double target = metresAcross / 5;
    double step = 1;
    while (step * 10 <= target) step *= 10;
    if (step * 5 <= target) return step * 5;
    if (step * 2 <= target) return step * 2;
    return step;
}
