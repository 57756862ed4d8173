// The velocity response of corners in contact: friction along the contact plane, restitution
// across it; one corner at a time, or several along one normal four lanes at once.
#include <algorithm>
#include <cmath>

#include "blocks/contact.h"
#include "blocks/float4.h"

namespace {

using float4::F4;
using float4::I4;

// A corner already leaving faster than this (per step) is left alone.
constexpr float kLeavingFast = 1000.0f;

}  // namespace

void RespondToContact(const Vec3& n, Vec3& v, uint8_t& contact, float friction, float restitution) {
  const float normal_speed = Dot(n, v);
  if (normal_speed > kLeavingFast) return;
  contact = 1;
  // Two tangents from an auxiliary axis that is not near n (neither is normalised).
  const Vec3 aux = std::fabs(n.x) < 0.5f ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
  Vec3 t1, t2;
  Cross(t1, n, aux);
  Cross(t2, n, t1);
  float s1 = Dot(t1, v), s2 = Dot(t2, v);
  const float tangential = std::sqrt(s1 * s1 + s2 * s2);
  if (tangential > friction) {
    s1 -= friction * s1 / tangential;
    s2 -= friction * s2 / tangential;
  } else {
    s1 = s2 = 0.0f;
  }
  // v = t1 s1 + t2 s2 - (e (n . v)) n, with n . v from before the call.
  const float bounce = restitution * normal_speed;
  v.Set(t1.x * s1 + t2.x * s2 - bounce * n.x, t1.y * s1 + t2.y * s2 - bounce * n.y,
        t1.z * s1 + t2.z * s2 - bounce * n.z);
}

void RespondToContacts(const Vec3& n, Vec3* const* velocities, uint8_t* const* contacts, int count,
                       float friction, float restitution) {
  const Vec3 aux = std::fabs(n.x) < 0.5f ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
  Vec3 t1, t2;
  Cross(t1, n, aux);
  Cross(t2, n, t1);
  for (int first = 0; first < count; first += 4) {
    const int lanes = std::min(4, count - first);
    Vec3* const* v = velocities + first;
    F4 vx{}, vy{}, vz{};
    for (int j = 0; j < lanes; ++j) vx[j] = v[j]->x, vy[j] = v[j]->y, vz[j] = v[j]->z;
    const F4 normal_speed = n.x * vx + n.y * vy + n.z * vz;
    const I4 responds = normal_speed <= kLeavingFast || normal_speed != normal_speed;
    F4 s1 = t1.x * vx + t1.y * vy + t1.z * vz, s2 = t2.x * vx + t2.y * vy + t2.z * vz;
    const F4 tangential = float4::Sqrt(s1 * s1 + s2 * s2);
    const I4 slides = tangential > friction;
    s1 = float4::Select(slides, s1 - friction * s1 / tangential, F4{});
    s2 = float4::Select(slides, s2 - friction * s2 / tangential, F4{});
    const F4 bounce = restitution * normal_speed;
    const F4 x = t1.x * s1 + t2.x * s2 - bounce * n.x, y = t1.y * s1 + t2.y * s2 - bounce * n.y,
             z = t1.z * s1 + t2.z * s2 - bounce * n.z;
    for (int j = 0; j < lanes; ++j) {
      if (!responds[j]) continue;
      *contacts[first + j] = 1;
      v[j]->Set(x[j], y[j], z[j]);
    }
  }
}
