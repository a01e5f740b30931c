/// @file
/// EPoint, EPoint3D: plain 2D and 3D points of doubles.
#pragma once

#include "MiltoraExport.h"

class MILTORA_EXPORT EPoint {
 public:
  EPoint() = default;
  EPoint(double x, double y) : m_X(x), m_Y(y) {}
  double x() const { return m_X; }
  double y() const { return m_Y; }
  void setX(double x) { m_X = x; }
  void setY(double y) { m_Y = y; }
  bool operator==(const EPoint& o) const { return m_X == o.m_X && m_Y == o.m_Y; }
  bool operator!=(const EPoint& o) const { return !(*this == o); }

 private:
  double m_X = 0.0;
  double m_Y = 0.0;
};

class MILTORA_EXPORT EPoint3D {
 public:
  EPoint3D() = default;
  EPoint3D(double x, double y, double z) : m_X(x), m_Y(y), m_Z(z) {}
  double x() const { return m_X; }
  double y() const { return m_Y; }
  double z() const { return m_Z; }
  bool operator==(const EPoint3D& o) const { return m_X == o.m_X && m_Y == o.m_Y && m_Z == o.m_Z; }
  bool operator!=(const EPoint3D& o) const { return !(*this == o); }

 private:
  double m_X = 0.0;
  double m_Y = 0.0;
  double m_Z = 0.0;
};
