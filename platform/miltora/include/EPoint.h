/// @file
/// EPoint, EPoint3D: plain 2D and 3D points of doubles.
#pragma once

#include "MiltoraExport.h"

/// A 2D point; the default is the origin.
class MILTORA_EXPORT EPoint {
 public:
  EPoint() = default;
  /// The point (x, y).
  EPoint(double x, double y) : m_X(x), m_Y(y) {}
  ///@{
  /// The coordinates.
  double x() const { return m_X; }
  double y() const { return m_Y; }
  ///@}
  ///@{
  /// Set one coordinate.
  void setX(double x) { m_X = x; }
  void setY(double y) { m_Y = y; }
  ///@}
  ///@{
  /// Exact comparison of both coordinates.
  bool operator==(const EPoint& o) const { return m_X == o.m_X && m_Y == o.m_Y; }
  bool operator!=(const EPoint& o) const { return !(*this == o); }
  ///@}

 private:
  double m_X = 0.0;
  double m_Y = 0.0;
};

/// A 3D point; the default is the origin.
class MILTORA_EXPORT EPoint3D {
 public:
  EPoint3D() = default;
  /// The point (x, y, z).
  EPoint3D(double x, double y, double z) : m_X(x), m_Y(y), m_Z(z) {}
  ///@{
  /// The coordinates.
  double x() const { return m_X; }
  double y() const { return m_Y; }
  double z() const { return m_Z; }
  ///@}
  ///@{
  /// Exact comparison of all three coordinates.
  bool operator==(const EPoint3D& o) const { return m_X == o.m_X && m_Y == o.m_Y && m_Z == o.m_Z; }
  bool operator!=(const EPoint3D& o) const { return !(*this == o); }
  ///@}

 private:
  double m_X = 0.0;
  double m_Y = 0.0;
  double m_Z = 0.0;
};
