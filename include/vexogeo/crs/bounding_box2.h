// BoundingBox2: an axis-aligned box held as origin and extent.
#ifndef VEXOGEO_CRS_BOUNDING_BOX2_H
#define VEXOGEO_CRS_BOUNDING_BOX2_H

/// An axis-aligned box stored as origin (`x`, `y`) and extent (`width`, `height`); the far
/// corner is (x + width, y + height) and is computed where needed. Units and axis order are
/// those of whatever coordinate system the holder associates with the box.
template <typename T> class BoundingBox2 {
  public:
    /// A box of all zeros: a single point at the origin.
    BoundingBox2() = default;
    BoundingBox2(T x_, T y_, T width_, T height_) : x(x_), y(y_), width(width_), height(height_) {}

    friend bool operator==(const BoundingBox2 &a, const BoundingBox2 &b) {
        return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
    }
    friend bool operator!=(const BoundingBox2 &a, const BoundingBox2 &b) { return !(a == b); }

    T x{};      ///< x of the origin corner
    T y{};      ///< y of the origin corner
    T width{};  ///< extent along x
    T height{}; ///< extent along y
};

#endif
