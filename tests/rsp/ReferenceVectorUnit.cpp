#include "tests/rsp/ReferenceVectorUnit.h"

#include <algorithm>

#include "rsp/VectorDivide.h"

namespace vantor::test {

using rsp::TVectorUnit;

uint32_t ElementLane(uint32_t e, uint32_t lane) {
  if (e >= 8) return e & 7;
  if (e >= 4) return (lane & ~3u) | (e & 3);
  if (e >= 2) return (lane & ~1u) | (e & 1);
  return lane;
}

namespace {

int64_t Acc(const TVectorUnit& u, int i) {
  const uint64_t raw =
      uint64_t{u.accHigh.e[i]} << 32 | uint64_t{u.accMid.e[i]} << 16 | u.accLow.e[i];
  return static_cast<int64_t>(raw << 16) >> 16;  // sign-extended from 48 bits
}
// The accumulator wraps at 48 bits.
int64_t Wrap(int64_t value) {
  return static_cast<int64_t>(static_cast<uint64_t>(value) << 16) >> 16;
}
void SetAcc(TVectorUnit& u, int i, int64_t value) {
  const uint64_t raw = static_cast<uint64_t>(value);
  u.accHigh.e[i] = static_cast<uint16_t>(raw >> 32);
  u.accMid.e[i] = static_cast<uint16_t>(raw >> 16);
  u.accLow.e[i] = static_cast<uint16_t>(raw);
}

int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, -32768, 32767));
}
int64_t Upper(int64_t acc) {
  return acc >> 16;
}
uint16_t SignedOut(int64_t acc) {
  return static_cast<uint16_t>(Saturate(Upper(acc)));
}
uint16_t UnsignedOut(int64_t acc) {
  const int64_t v = Upper(acc);
  if (v < 0) return 0;
  return v > 0x7FFF ? 0xFFFF : static_cast<uint16_t>(v);
}
uint16_t LowOut(int64_t acc) {
  const int64_t v = Upper(acc);
  if (v < -32768) return 0;
  if (v > 32767) return 0xFFFF;
  return static_cast<uint16_t>(acc);
}

bool Bit(uint32_t flags, int i) {
  return (flags >> i) & 1;
}

}  // namespace

void ReferenceVectorOp(TVectorUnit& u, uint32_t w) {
  const uint32_t e = (w >> 21) & 15, vtn = (w >> 16) & 31, vsn = (w >> 11) & 31;
  const uint32_t vdn = (w >> 6) & 31, funct = w & 63;
  uint16_t s[8], t[8], d[8];
  for (uint32_t i = 0; i < 8; ++i) {
    s[i] = u.reg[vsn].e[i];
    t[i] = u.reg[vtn].e[ElementLane(e, i)];
    d[i] = u.reg[vdn].e[i];
  }
  uint16_t vco = u.vco, vcc = u.vcc;
  uint8_t vce = u.vce;
  for (int i = 0; i < 8; ++i) {
    const int32_t ss = static_cast<int16_t>(s[i]), ts = static_cast<int16_t>(t[i]);
    const uint32_t su = s[i], tu = t[i];
    const int64_t acc = Acc(u, i);
    const bool carry = Bit(u.vco, i), notEqual = Bit(u.vco, i + 8);
    auto setLow = [&](int64_t v) { u.accLow.e[i] = static_cast<uint16_t>(v); };
    auto flag = [](uint32_t& f, int bit, bool on) {
      f = (f & ~(1u << bit)) | (on ? 1u << bit : 0);
    };
    uint32_t cc = vcc, co = vco, ce = vce;
    switch (funct) {
      case 0x00:
      case 0x01: {  // VMULF, VMULU
        const int64_t a = int64_t{ss} * ts * 2 + 0x8000;
        SetAcc(u, i, a);
        d[i] = funct == 0 ? SignedOut(a) : UnsignedOut(a);
        break;
      }
      case 0x02:
      case 0x0A: {  // VRNDP, VRNDN
        const int64_t add = (vsn & 1) ? int64_t{ts} * 65536 : ts;
        const bool apply = funct == 0x02 ? acc >= 0 : acc < 0;
        const int64_t a = Wrap(apply ? acc + add : acc);
        SetAcc(u, i, a);
        d[i] = SignedOut(a);
        break;
      }
      case 0x03: {  // VMULQ
        int64_t p = int64_t{ss} * ts;
        if (p < 0) p += 31;
        SetAcc(u, i, p * 65536);
        d[i] = static_cast<uint16_t>(Saturate(p >> 1) & 0xFFF0);
        break;
      }
      case 0x0B: {  // VMACQ
        int64_t p = Upper(acc);
        if ((p & 0x20) == 0) {
          if (p < 0)
            p += 0x20;
          else if (p >= 0x20)
            p -= 0x20;
        }
        SetAcc(u, i, p * 65536 + (acc & 0xFFFF));
        d[i] = static_cast<uint16_t>(Saturate(p >> 1) & 0xFFF0);
        break;
      }
      case 0x04:
      case 0x05:
      case 0x06:
      case 0x07:
      case 0x08:
      case 0x09:
      case 0x0C:
      case 0x0D:
      case 0x0E:
      case 0x0F: {
        int64_t product = 0;
        switch (funct & 7) {
          case 0:
          case 1:
            product = int64_t{ss} * ts * 2;
            break;
          case 4:
            product = (int64_t{su} * tu) >> 16;
            break;
          case 5:
            product = int64_t{ss} * tu;
            break;
          case 6:
            product = int64_t{su} * ts;
            break;
          default:
            product = int64_t{ss} * ts * 65536;
        }
        const int64_t a = Wrap((funct & 8 ? acc : 0) + product);
        SetAcc(u, i, a);
        switch (funct & 7) {
          case 1:
            d[i] = UnsignedOut(a);
            break;
          case 4:
          case 6:
            d[i] = LowOut(a);
            break;
          default:
            d[i] = SignedOut(a);
        }
        break;
      }
      case 0x10:
      case 0x11: {  // VADD, VSUB
        const int32_t r = funct == 0x10 ? ss + ts + carry : ss - ts - carry;
        setLow(r);
        d[i] = static_cast<uint16_t>(Saturate(r));
        co = 0;
        break;
      }
      case 0x13: {  // VABS
        const int32_t r = ss < 0 ? -ts : ss == 0 ? 0 : ts;
        setLow(r);
        d[i] = static_cast<uint16_t>(Saturate(r));
        break;
      }
      case 0x14: {  // VADDC
        const uint32_t r = su + tu;
        setLow(r);
        d[i] = static_cast<uint16_t>(r);
        flag(co, i, r > 0xFFFF);
        flag(co, i + 8, false);
        break;
      }
      case 0x15: {  // VSUBC
        const int32_t r = static_cast<int32_t>(su) - static_cast<int32_t>(tu);
        setLow(r);
        d[i] = static_cast<uint16_t>(r);
        flag(co, i, r < 0);
        flag(co, i + 8, r != 0);
        break;
      }
      case 0x1D:  // VSAR
        d[i] = e == 8 ? u.accHigh.e[i] : e == 9 ? u.accMid.e[i] : e == 10 ? u.accLow.e[i] : 0;
        break;
      case 0x20:
      case 0x21:
      case 0x22:
      case 0x23: {  // VLT, VEQ, VNE, VGE
        bool c = false;
        if (funct == 0x20) c = ss < ts || (ss == ts && carry && notEqual);
        if (funct == 0x21) c = ss == ts && !notEqual;
        if (funct == 0x22) c = ss != ts || notEqual;
        if (funct == 0x23) c = ss > ts || (ss == ts && !(carry && notEqual));
        d[i] = c ? s[i] : t[i];
        setLow(d[i]);
        flag(cc, i, c);
        flag(cc, i + 8, false);
        co = 0;
        break;
      }
      case 0x24: {  // VCL
        bool le = Bit(u.vcc, i), ge = Bit(u.vcc, i + 8);
        if (carry) {
          if (!notEqual) {
            const uint32_t sum = su + tu;
            const bool lowZero = (sum & 0xFFFF) == 0, noCarry = sum <= 0xFFFF;
            le = Bit(u.vce, i) ? (lowZero || noCarry) : (lowZero && noCarry);
          }
          d[i] = le ? static_cast<uint16_t>(-ts) : s[i];
        } else {
          if (!notEqual) ge = su >= tu;
          d[i] = ge ? t[i] : s[i];
        }
        setLow(d[i]);
        flag(cc, i, le);
        flag(cc, i + 8, ge);
        co = 0;
        ce = 0;
        break;
      }
      case 0x25: {  // VCH
        const bool sign = (ss ^ ts) < 0;
        bool le, ge, ext = false, equal;
        if (sign) {
          ge = ts < 0;
          le = ss + ts <= 0;
          ext = ss + ts == -1;
          equal = ss + ts == 0 || ext;
          d[i] = le ? static_cast<uint16_t>(-ts) : s[i];
        } else {
          le = ts < 0;
          ge = ss - ts >= 0;
          equal = ss == ts;
          d[i] = ge ? t[i] : s[i];
        }
        setLow(d[i]);
        flag(cc, i, le);
        flag(cc, i + 8, ge);
        flag(co, i, sign);
        flag(co, i + 8, !equal);
        flag(ce, i, ext);
        break;
      }
      case 0x26: {  // VCR
        const bool sign = (ss ^ ts) < 0;
        bool le, ge;
        if (sign) {
          ge = ts < 0;
          le = ss + ts + 1 <= 0;
          d[i] = le ? static_cast<uint16_t>(~ts) : s[i];
        } else {
          le = ts < 0;
          ge = ss - ts >= 0;
          d[i] = ge ? t[i] : s[i];
        }
        setLow(d[i]);
        flag(cc, i, le);
        flag(cc, i + 8, ge);
        co = 0;
        ce = 0;
        break;
      }
      case 0x27:  // VMRG
        d[i] = Bit(u.vcc, i) ? s[i] : t[i];
        setLow(d[i]);
        co = 0;
        break;
      case 0x28:
        d[i] = s[i] & t[i];
        setLow(d[i]);
        break;
      case 0x29:
        d[i] = static_cast<uint16_t>(~(s[i] & t[i]));
        setLow(d[i]);
        break;
      case 0x2A:
        d[i] = s[i] | t[i];
        setLow(d[i]);
        break;
      case 0x2B:
        d[i] = static_cast<uint16_t>(~(s[i] | t[i]));
        setLow(d[i]);
        break;
      case 0x2C:
        d[i] = s[i] ^ t[i];
        setLow(d[i]);
        break;
      case 0x2D:
        d[i] = static_cast<uint16_t>(~(s[i] ^ t[i]));
        setLow(d[i]);
        break;
      case 0x30:
      case 0x31:
      case 0x32:
      case 0x33:
      case 0x34:
      case 0x35:
      case 0x36:
        setLow(t[i]);
        break;
      default:
        break;
    }
    vcc = static_cast<uint16_t>(cc);
    vco = static_cast<uint16_t>(co);
    vce = static_cast<uint8_t>(ce);
  }
  // The single-lane operations: lane vs & 7 of the selected vt in, the same lane of vd out.
  if (funct >= 0x30 && funct <= 0x36) {
    const uint32_t lane = vsn & 7;
    const int16_t in = static_cast<int16_t>(t[lane]);
    const bool high = funct == 0x32 || funct == 0x36;
    const bool low = funct == 0x31 || funct == 0x35;
    if (funct == 0x33) {
      d[lane] = t[lane];
    } else if (high) {
      u.divIn = in;
      u.divInLoaded = true;
      d[lane] = static_cast<uint16_t>(u.divOut);
    } else {
      int32_t input = in;
      if (low && u.divInLoaded)
        input = static_cast<int32_t>(uint32_t(uint16_t(u.divIn)) << 16 | t[lane]);
      const int32_t r = funct < 0x33 ? rsp::Reciprocal(input) : rsp::InverseSqrt(input);
      d[lane] = static_cast<uint16_t>(r);
      u.divOut = static_cast<int16_t>(r >> 16);
      u.divInLoaded = false;
    }
  }
  const bool writes = funct <= 0x11 || funct == 0x13 || funct == 0x14 || funct == 0x15 ||
                      funct == 0x1D || (funct >= 0x20 && funct <= 0x2D) ||
                      (funct >= 0x30 && funct <= 0x36);
  if (writes)
    for (int i = 0; i < 8; ++i)
      u.reg[vdn].e[i] = d[i];
  u.vcc = vcc;
  u.vco = vco;
  u.vce = vce;
}

}  // namespace vantor::test
