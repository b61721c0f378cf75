// Numbers and the two booleans.
//
// A number keeps one 64-bit payload: a signed integer, an unsigned integer
// above INT64_MAX, or a double. The header's flags byte holds the canonical
// CFNumberType, which also says which of the three the payload is.
#include "platform/values/Runtime.h"

#include <bit>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

using namespace vt::cf;

struct __CFNumber {
    ObjectHeader header;
    uint64_t bits;

    constexpr __CFNumber(uint8_t allocator, const __VTRuntimeClass *cls, CFNumberType type,
                         uint64_t payload, uint32_t rc = 1)
        : header(cls, rc, allocator, uint8_t(type)), bits(payload) {}
};

struct __CFBoolean {
    ObjectHeader header; // flags: the value
};

namespace {

constexpr double kTwo63 = 9223372036854775808.0;
constexpr double kTwo64 = 18446744073709551616.0;
constexpr double kTwo127 = 170141183460469231731687303715884105728.0;

struct Int128Parts {
    SInt64 high;
    UInt64 low;
};

enum class Kind { Signed, Unsigned, Real };

struct Value {
    Kind kind;
    int64_t i;
    uint64_t u;
    double d;
};

Kind KindOfType(CFNumberType type) {
    if (type == kCFNumberFloat32Type || type == kCFNumberFloat64Type) return Kind::Real;
    if (type == kCFNumberSInt128Type) return Kind::Unsigned;
    return Kind::Signed;
}

CFNumberType StoredType(const __CFNumber *n) {
    return CFNumberType(n->header.flags);
}

Value ValueOf(const __CFNumber *n) {
    Value v{KindOfType(StoredType(n)), 0, 0, 0.0};
    switch (v.kind) {
        case Kind::Signed:
            v.i = int64_t(n->bits);
            break;
        case Kind::Unsigned:
            v.u = n->bits;
            break;
        case Kind::Real:
            v.d = std::bit_cast<double>(n->bits);
            break;
    }
    return v;
}

// The sign of (integer - d), exact for every int64/uint64 and double.
// NaN orders below every other number.
int CompareIntegerToReal(const Value &a, double d) {
    if (std::isnan(d)) return 1;
    if (a.kind == Kind::Unsigned) {
        if (d >= kTwo64) return -1;
        if (d < kTwo63) return 1;
        // Doubles this large are whole numbers.
        uint64_t whole = uint64_t(d);
        return a.u < whole ? -1 : a.u > whole ? 1 : 0;
    }
    if (d >= kTwo63) return -1;
    if (d < -kTwo63) return 1;
    double t = std::trunc(d);
    int64_t whole = int64_t(t);
    if (a.i != whole) return a.i < whole ? -1 : 1;
    return d > t ? -1 : d < t ? 1 : 0;
}

int CompareValues(const Value &a, const Value &b) {
    if (a.kind == Kind::Real && b.kind == Kind::Real) {
        bool an = std::isnan(a.d), bn = std::isnan(b.d);
        if (an || bn) return an == bn ? 0 : an ? -1 : 1;
        return a.d < b.d ? -1 : a.d > b.d ? 1 : 0;
    }
    if (b.kind == Kind::Real) return CompareIntegerToReal(a, b.d);
    if (a.kind == Kind::Real) return -CompareIntegerToReal(b, a.d);
    if (a.kind != b.kind) return a.kind == Kind::Signed ? -1 : 1;
    if (a.kind == Kind::Signed) return a.i < b.i ? -1 : a.i > b.i ? 1 : 0;
    return a.u < b.u ? -1 : a.u > b.u ? 1 : 0;
}

CFHashCode MixBits(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdull;
    x ^= x >> 33;
    return CFHashCode(x);
}

// Whole values hash by their integer value, so that 1, 1.0 and an SInt8 1 agree.
CFHashCode HashValue(const Value &v) {
    switch (v.kind) {
        case Kind::Signed:
            return MixBits(uint64_t(v.i));
        case Kind::Unsigned:
            return MixBits(v.u);
        case Kind::Real:
            break;
    }
    if (std::isnan(v.d)) return 0x7ff8;
    if (std::trunc(v.d) == v.d) {
        if (v.d >= -kTwo63 && v.d < kTwo63) return MixBits(uint64_t(int64_t(v.d)));
        if (v.d >= 0 && v.d < kTwo64) return MixBits(uint64_t(v.d));
    }
    return MixBits(std::bit_cast<uint64_t>(v.d));
}

template <class T>
bool ToInteger(const Value &v, T *out) {
    constexpr int64_t lo = std::numeric_limits<T>::min();
    constexpr int64_t hi = std::numeric_limits<T>::max();
    switch (v.kind) {
        case Kind::Signed:
            if (v.i < lo || v.i > hi) {
                *out = T(v.i < lo ? lo : hi);
                return false;
            }
            *out = T(v.i);
            return true;
        case Kind::Unsigned:
            *out = T(hi);
            return false;
        case Kind::Real:
            break;
    }
    if (std::isnan(v.d)) {
        *out = 0;
        return false;
    }
    double t = std::trunc(v.d);
    // -lo is 2^(bits-1), exactly representable, unlike hi for 64 bits.
    if (t >= -double(lo)) {
        *out = T(hi);
        return false;
    }
    if (t < double(lo)) {
        *out = T(lo);
        return false;
    }
    *out = T(int64_t(t));
    return t == v.d;
}

bool ToDouble(const Value &v, double *out) {
    switch (v.kind) {
        case Kind::Signed:
            *out = double(v.i);
            return *out < kTwo63 && int64_t(*out) == v.i;
        case Kind::Unsigned:
            *out = double(v.u);
            return *out < kTwo64 && uint64_t(*out) == v.u;
        case Kind::Real:
            *out = v.d;
            return true;
    }
    return false;
}

bool ToFloat(const Value &v, float *out) {
    double wide = 0;
    bool exact = ToDouble(v, &wide);
    if (std::isnan(wide)) {
        *out = std::numeric_limits<float>::quiet_NaN();
        return exact;
    }
    // Out of float's range: what an IEEE conversion gives, without the UB.
    if (std::fabs(wide) > double(FLT_MAX) && !std::isinf(wide)) {
        constexpr float inf = std::numeric_limits<float>::infinity();
        *out = wide > 0 ? inf : -inf;
        return false;
    }
    *out = float(wide);
    return exact && double(*out) == wide;
}

bool ToInt128(const Value &v, Int128Parts *out) {
    switch (v.kind) {
        case Kind::Signed:
            *out = {v.i < 0 ? -1 : 0, uint64_t(v.i)};
            return true;
        case Kind::Unsigned:
            *out = {0, v.u};
            return true;
        case Kind::Real:
            break;
    }
    if (std::isnan(v.d)) {
        *out = {0, 0};
        return false;
    }
    double t = std::trunc(v.d);
    if (t >= kTwo127) {
        *out = {INT64_MAX, UINT64_MAX};
        return false;
    }
    if (t < -kTwo127) {
        *out = {INT64_MIN, 0};
        return false;
    }
    __int128 whole = __int128(t);
    *out = {int64_t(whole >> 64), uint64_t(whole)};
    return t == v.d;
}

template <class T>
T Load(const void *p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <class T>
void Store(void *p, T value) {
    std::memcpy(p, &value, sizeof value);
}

bool NumberEqual(CFTypeRef a, CFTypeRef b) {
    return CompareValues(ValueOf(static_cast<const __CFNumber *>(a)),
                         ValueOf(static_cast<const __CFNumber *>(b))) == 0;
}

CFHashCode NumberHash(CFTypeRef cf) {
    return HashValue(ValueOf(static_cast<const __CFNumber *>(cf)));
}

CFStringRef NumberDescription(CFTypeRef cf) {
    const auto *n = static_cast<const __CFNumber *>(cf);
    Value v = ValueOf(n);
    char text[64];
    std::to_chars_result end{text, std::errc()};
    switch (v.kind) {
        case Kind::Signed:
            end = std::to_chars(text, text + sizeof text, v.i);
            break;
        case Kind::Unsigned:
            end = std::to_chars(text, text + sizeof text, v.u);
            break;
        case Kind::Real:
            if (std::isnan(v.d))
                end.ptr = std::strcpy(text, "nan") + 3;
            else if (std::isinf(v.d))
                end.ptr = std::strcpy(text, v.d > 0 ? "+infinity" : "-infinity") + 9;
            else if (StoredType(n) == kCFNumberFloat32Type)
                end = std::to_chars(text, text + sizeof text, float(v.d));
            else
                end = std::to_chars(text, text + sizeof text, v.d);
            break;
    }
    return CFStringCreateWithBytes(kCFAllocatorSystemDefault, reinterpret_cast<UInt8 *>(text),
                                   end.ptr - text, kCFStringEncodingUTF8, false);
}

constexpr __VTRuntimeClass kNumberClass = {
    kTypeIDNumber, "CFNumber", nullptr, NumberEqual, NumberHash, NumberDescription,
};

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constinit const __CFNumber gPositiveInfinity(0, &kNumberClass, kCFNumberFloat64Type,
                                             std::bit_cast<uint64_t>(kInfinity), kImmortal);
constinit const __CFNumber gNegativeInfinity(0, &kNumberClass, kCFNumberFloat64Type,
                                             std::bit_cast<uint64_t>(-kInfinity), kImmortal);
constinit const __CFNumber gNaN(0, &kNumberClass, kCFNumberFloat64Type,
                                std::bit_cast<uint64_t>(std::numeric_limits<double>::quiet_NaN()),
                                kImmortal);

bool BooleanEqual(CFTypeRef, CFTypeRef) {
    return false;
}

CFHashCode BooleanHash(CFTypeRef cf) {
    return static_cast<const __CFBoolean *>(cf)->header.flags;
}

CFStringRef BooleanDescription(CFTypeRef cf) {
    return static_cast<const __CFBoolean *>(cf)->header.flags ? CFSTR("true") : CFSTR("false");
}

constexpr __VTRuntimeClass kBooleanClass = {
    kTypeIDBoolean, "CFBoolean", nullptr, BooleanEqual, BooleanHash, BooleanDescription,
};

constinit const __CFBoolean gTrue{{&kBooleanClass, kImmortal, 0, 1}};
constinit const __CFBoolean gFalse{{&kBooleanClass, kImmortal, 0, 0}};

const __CFNumber *AsNumber(CFTypeRef cf) {
    return As<const __CFNumber>(cf, kTypeIDNumber);
}

} // namespace

extern "C" {

const CFBooleanRef kCFBooleanTrue = &gTrue;
const CFBooleanRef kCFBooleanFalse = &gFalse;
const CFNumberRef kCFNumberPositiveInfinity = &gPositiveInfinity;
const CFNumberRef kCFNumberNegativeInfinity = &gNegativeInfinity;
const CFNumberRef kCFNumberNaN = &gNaN;

CFTypeID CFBooleanGetTypeID(void) {
    return kTypeIDBoolean;
}

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
    const auto *b = As<const __CFBoolean>(boolean, kTypeIDBoolean);
    return b && b->header.flags;
}

CFTypeID CFNumberGetTypeID(void) {
    return kTypeIDNumber;
}

CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType theType, const void *valuePtr) {
    if (!valuePtr) return nullptr;
    CFNumberType stored;
    uint64_t bits;
    switch (theType) {
        case kCFNumberSInt8Type:
        case kCFNumberCharType:
            stored = kCFNumberSInt8Type;
            bits = uint64_t(int64_t(Load<int8_t>(valuePtr)));
            break;
        case kCFNumberSInt16Type:
        case kCFNumberShortType:
            stored = kCFNumberSInt16Type;
            bits = uint64_t(int64_t(Load<int16_t>(valuePtr)));
            break;
        case kCFNumberSInt32Type:
        case kCFNumberIntType:
            stored = kCFNumberSInt32Type;
            bits = uint64_t(int64_t(Load<int32_t>(valuePtr)));
            break;
        case kCFNumberSInt64Type:
        case kCFNumberLongType:
        case kCFNumberLongLongType:
        case kCFNumberCFIndexType:
        case kCFNumberNSIntegerType:
            static_assert(sizeof(long) == 8 && sizeof(CFIndex) == 8);
            stored = kCFNumberSInt64Type;
            bits = uint64_t(Load<int64_t>(valuePtr));
            break;
        case kCFNumberFloat32Type:
        case kCFNumberFloatType:
            stored = kCFNumberFloat32Type;
            bits = std::bit_cast<uint64_t>(double(Load<float>(valuePtr)));
            break;
        case kCFNumberFloat64Type:
        case kCFNumberDoubleType:
        case kCFNumberCGFloatType:
            stored = kCFNumberFloat64Type;
            bits = std::bit_cast<uint64_t>(Load<double>(valuePtr));
            break;
        case kCFNumberSInt128Type: {
            auto parts = Load<Int128Parts>(valuePtr);
            bool fitsSigned = (parts.high == 0 && parts.low <= uint64_t(INT64_MAX)) ||
                              (parts.high == -1 && parts.low > uint64_t(INT64_MAX));
            if (fitsSigned) {
                stored = kCFNumberSInt64Type;
            } else if (parts.high == 0) {
                stored = kCFNumberSInt128Type;
            } else {
                return nullptr;
            }
            bits = parts.low;
            break;
        }
        default:
            return nullptr;
    }
    return CreateObject<__CFNumber>(allocator, 0, &kNumberClass, stored, bits);
}

CFNumberType CFNumberGetType(CFNumberRef number) {
    const __CFNumber *n = AsNumber(number);
    return n ? StoredType(n) : CFNumberType(0);
}

CFIndex CFNumberGetByteSize(CFNumberRef number) {
    const __CFNumber *n = AsNumber(number);
    if (!n) return 0;
    switch (StoredType(n)) {
        case kCFNumberSInt8Type:
            return 1;
        case kCFNumberSInt16Type:
            return 2;
        case kCFNumberSInt32Type:
        case kCFNumberFloat32Type:
            return 4;
        case kCFNumberSInt128Type:
            return 16;
        default:
            return 8;
    }
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
    const __CFNumber *n = AsNumber(number);
    return n && KindOfType(StoredType(n)) == Kind::Real;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void *valuePtr) {
    const __CFNumber *n = AsNumber(number);
    if (!n || !valuePtr) return false;
    Value v = ValueOf(n);
    bool exact = false;
    switch (theType) {
        case kCFNumberSInt8Type:
        case kCFNumberCharType: {
            int8_t out;
            exact = ToInteger(v, &out);
            Store(valuePtr, out);
            break;
        }
        case kCFNumberSInt16Type:
        case kCFNumberShortType: {
            int16_t out;
            exact = ToInteger(v, &out);
            Store(valuePtr, out);
            break;
        }
        case kCFNumberSInt32Type:
        case kCFNumberIntType: {
            int32_t out;
            exact = ToInteger(v, &out);
            Store(valuePtr, out);
            break;
        }
        case kCFNumberSInt64Type:
        case kCFNumberLongType:
        case kCFNumberLongLongType:
        case kCFNumberCFIndexType:
        case kCFNumberNSIntegerType: {
            int64_t out;
            exact = ToInteger(v, &out);
            Store(valuePtr, out);
            break;
        }
        case kCFNumberFloat32Type:
        case kCFNumberFloatType: {
            float out;
            exact = ToFloat(v, &out);
            Store(valuePtr, out);
            break;
        }
        case kCFNumberFloat64Type:
        case kCFNumberDoubleType:
        case kCFNumberCGFloatType: {
            double out;
            exact = ToDouble(v, &out);
            Store(valuePtr, out);
            break;
        }
        case kCFNumberSInt128Type: {
            Int128Parts out;
            exact = ToInt128(v, &out);
            Store(valuePtr, out);
            break;
        }
        default:
            return false;
    }
    return exact;
}

CFComparisonResult CFNumberCompare(CFNumberRef number, CFNumberRef otherNumber, void *) {
    const __CFNumber *a = AsNumber(number);
    const __CFNumber *b = AsNumber(otherNumber);
    if (!a || !b) return kCFCompareEqualTo;
    return CFComparisonResult(CompareValues(ValueOf(a), ValueOf(b)));
}

} // extern "C"
