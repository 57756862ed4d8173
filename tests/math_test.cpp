#include "blocks/math.h"

#include <gtest/gtest.h>

namespace {

TEST(Vec3, NormalizeLeavesAZeroVectorAndScalesOthers) {
  Vec3 zero;
  EXPECT_FALSE(NormalizeInPlace(zero));
  EXPECT_EQ(zero, (Vec3{0, 0, 0}));
  Vec3 v{0, 3, 4};
  EXPECT_TRUE(NormalizeInPlace(v));
  EXPECT_FLOAT_EQ(v.y, 0.6f);
  EXPECT_FLOAT_EQ(v.z, 0.8f);
}

TEST(Vec3, CrossFollowsTheRightHandAndMayWriteIntoAnArgument) {
  Vec3 x{1, 0, 0}, y{0, 1, 0}, out;
  EXPECT_EQ(Cross(out, x, y), (Vec3{0, 0, 1}));
  EXPECT_EQ(Cross(out, y, x), (Vec3{0, 0, -1}));
  Vec3 a{1, 2, 3};
  Cross(a, a, Vec3{4, 5, 6});
  EXPECT_EQ(a, (Vec3{-3, 6, -3}));
}

TEST(Vec3, FaceNormalOfADegenerateFaceIsZero) {
  Vec3 n{9, 9, 9};
  FaceNormal(n, {0, 0, 0}, {1, 1, 1}, {2, 2, 2});
  EXPECT_EQ(n, (Vec3{0, 0, 0}));
  FaceNormal(n, {0, 1, 0}, {1, 0, 0}, {0, 0, 0});
  EXPECT_EQ(n, (Vec3{0, 0, 1})) << "(p2 - p3) x (p0 - p3)";
}

TEST(Vec3, SmallOperationsReturnTheirDestination) {
  Vec3 v{2, 4, 6};
  EXPECT_EQ(DivideInPlace(v, 2), (Vec3{1, 2, 3}));
  EXPECT_EQ(MultiplyInPlace(v, {2, 0, -1}), (Vec3{2, 0, -3}));
  EXPECT_FLOAT_EQ(LengthSquared(v), 13.0f);
  Vec3 out;
  EXPECT_EQ(Scale(out, v, 0.5f), (Vec3{1, 0, -1.5f}));
}

TEST(Mat4, IdentityIsNeutralAndProductsApplyTheLeftFactorFirst) {
  Mat4 m, id, out;
  for (int i = 0; i < 16; ++i) m.m[i] = float(i) * 0.5f - 3.0f;
  Identity(id);
  EXPECT_EQ(Multiply(out, id, m), m);
  EXPECT_EQ(Multiply(out, m, id), m);
  Mat4 translate, scale;
  Identity(translate);
  translate.At(3, 0) = 5;
  Identity(scale);
  scale.At(0, 0) = 2;
  Multiply(out, translate, scale);  // move, then scale
  Vec4 p{1, 0, 0, 1};
  TransformInPlace(p, out);
  EXPECT_FLOAT_EQ(p.x, 12.0f);
}

TEST(Mat4, AffineInverseUndoesTranslationAndRotation) {
  Mat4 t, inverse;
  Identity(t);
  t.At(3, 0) = 1, t.At(3, 1) = 2, t.At(3, 2) = 3;
  AffineInverse(inverse, t);
  EXPECT_FLOAT_EQ(inverse.At(3, 0), -1);
  EXPECT_FLOAT_EQ(inverse.At(3, 1), -2);
  EXPECT_FLOAT_EQ(inverse.At(3, 2), -3);
  EXPECT_FLOAT_EQ(inverse.At(3, 3), 1);
  // A rotation, a scale and a move together: M x inverse is the identity.
  Mat4 m;
  Identity(m);
  m.At(0, 0) = 0, m.At(0, 1) = 2, m.At(1, 0) = -2, m.At(1, 1) = 0, m.At(2, 2) = 2;
  m.At(3, 0) = 4, m.At(3, 1) = -1, m.At(3, 2) = 7;
  Mat4 product;
  Multiply(product, m, AffineInverse(inverse, m));
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(product.At(r, c), r == c ? 1.0f : 0.0f, 1e-6f);
}

TEST(Mat4, TransformTransposedReadsRowsAsColumns) {
  Mat4 m;
  for (int i = 0; i < 16; ++i) m.m[i] = float(i + 1);
  Vec3 out;
  TransformTransposed3x3(out, {1, 0, 0}, m);
  EXPECT_EQ(out, (Vec3{1, 5, 9}));  // the first elements of rows 0, 1 and 2
}

TEST(Spaces, PhysicsAndDisplaySwapTheirSecondAndThirdComponents) {
  EXPECT_EQ(SwapYZ({1, 2, 3}), (Vec3{1, 3, 2}));
  EXPECT_EQ(SwapYZ(SwapYZ({1, 2, 3})), (Vec3{1, 2, 3}));
}

}  // namespace
