#include "base/pickle.h"

#include <climits>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support/check_recorder.h"

namespace base {
namespace {

std::vector<unsigned char> BytesOf(const Pickle& pickle) {
  const unsigned char* data =
      reinterpret_cast<const unsigned char*>(pickle.data());
  return std::vector<unsigned char>(data, data + pickle.size());
}

uint32_t StoredPayloadSize(const Pickle& pickle) {
  uint32_t size;
  memcpy(&size, pickle.data(), sizeof(size));
  return size;
}

// The cursor's offset from the start of the pickle's bytes.
ptrdiff_t CursorOffset(const Pickle& pickle, const void* iter) {
  return static_cast<const char*>(iter) - pickle.data();
}

// Exactly `size` heap bytes, so that a read past them is a read outside
// any object of the test.
class ExactBuffer {
 public:
  explicit ExactBuffer(const std::vector<unsigned char>& bytes)
      : size_(static_cast<int>(bytes.size())),
        bytes_(new char[bytes.empty() ? 1 : bytes.size()]) {
    if (!bytes.empty())
      memcpy(bytes_.get(), bytes.data(), bytes.size());
  }
  const char* data() const { return bytes_.get(); }
  int size() const { return size_; }

 private:
  int size_;
  std::unique_ptr<char[]> bytes_;
};

void ExpectInside(const Pickle& pickle, const char* data, int length) {
  EXPECT_GE(data, pickle.data());
  EXPECT_LE(data + length, pickle.data() + pickle.size());
}

// One item of every kind: how to write it, and how to read it back,
// reporting whether it came back the same.
struct Item {
  const char* name;
  bool (*write)(Pickle* pickle);
  bool (*read)(const Pickle& pickle, void** iter, bool* same);
};

const char kData[] = {'\x01', '\0', '\x03'};
const char kRawBytes[] = {'r', 'a', 'w', '\xff', '\0'};
const std::string kNarrow("odd\0len", 7);
const std::wstring kWide = {L'w', 0x00e9};
const string16 kString16 = {'s', 0xd83d, 0xde00};

const Item kAllKinds[] = {
    {"bool true", [](Pickle* p) { return p->WriteBool(true); },
     [](const Pickle& p, void** iter, bool* same) {
       bool value = false;
       const bool read = p.ReadBool(iter, &value);
       *same = value;
       return read;
     }},
    {"bool false", [](Pickle* p) { return p->WriteBool(false); },
     [](const Pickle& p, void** iter, bool* same) {
       bool value = true;
       const bool read = p.ReadBool(iter, &value);
       *same = !value;
       return read;
     }},
    {"int", [](Pickle* p) { return p->WriteInt(INT_MIN); },
     [](const Pickle& p, void** iter, bool* same) {
       int value = 0;
       const bool read = p.ReadInt(iter, &value);
       *same = value == INT_MIN;
       return read;
     }},
    {"long", [](Pickle* p) { return p->WriteLong(-123456789L); },
     [](const Pickle& p, void** iter, bool* same) {
       long value = 0;
       const bool read = p.ReadLong(iter, &value);
       *same = value == -123456789L;
       return read;
     }},
    {"size_t", [](Pickle* p) { return p->WriteSize(0xffffffffu); },
     [](const Pickle& p, void** iter, bool* same) {
       size_t value = 0;
       const bool read = p.ReadSize(iter, &value);
       *same = value == 0xffffffffu;
       return read;
     }},
    {"uint32", [](Pickle* p) { return p->WriteUInt32(0xdeadbeefu); },
     [](const Pickle& p, void** iter, bool* same) {
       uint32_t value = 0;
       const bool read = p.ReadUInt32(iter, &value);
       *same = value == 0xdeadbeefu;
       return read;
     }},
    {"int64", [](Pickle* p) { return p->WriteInt64(INT64_MIN + 5); },
     [](const Pickle& p, void** iter, bool* same) {
       int64_t value = 0;
       const bool read = p.ReadInt64(iter, &value);
       *same = value == INT64_MIN + 5;
       return read;
     }},
    {"intptr", [](Pickle* p) { return p->WriteIntPtr(-2); },
     [](const Pickle& p, void** iter, bool* same) {
       intptr_t value = 0;
       const bool read = p.ReadIntPtr(iter, &value);
       *same = value == -2;
       return read;
     }},
    {"empty string", [](Pickle* p) { return p->WriteString(std::string()); },
     [](const Pickle& p, void** iter, bool* same) {
       std::string value = "sentinel";
       const bool read = p.ReadString(iter, &value);
       *same = value.empty();
       return read;
     }},
    {"string", [](Pickle* p) { return p->WriteString(kNarrow); },
     [](const Pickle& p, void** iter, bool* same) {
       std::string value;
       const bool read = p.ReadString(iter, &value);
       *same = value == kNarrow;
       return read;
     }},
    {"wide string", [](Pickle* p) { return p->WriteWString(kWide); },
     [](const Pickle& p, void** iter, bool* same) {
       std::wstring value;
       const bool read = p.ReadWString(iter, &value);
       *same = value == kWide;
       return read;
     }},
    {"string16", [](Pickle* p) { return p->WriteString16(kString16); },
     [](const Pickle& p, void** iter, bool* same) {
       string16 value;
       const bool read = p.ReadString16(iter, &value);
       *same = value == kString16;
       return read;
     }},
    {"data", [](Pickle* p) { return p->WriteData(kData, sizeof(kData)); },
     [](const Pickle& p, void** iter, bool* same) {
       const char* data = nullptr;
       int length = 0;
       if (!p.ReadData(iter, &data, &length))
         return false;
       ExpectInside(p, data, length);
       *same = length == static_cast<int>(sizeof(kData)) &&
               memcmp(data, kData, sizeof(kData)) == 0;
       return true;
     }},
    {"raw bytes",
     [](Pickle* p) { return p->WriteBytes(kRawBytes, sizeof(kRawBytes)); },
     [](const Pickle& p, void** iter, bool* same) {
       const char* data = nullptr;
       if (!p.ReadBytes(iter, &data, sizeof(kRawBytes)))
         return false;
       ExpectInside(p, data, sizeof(kRawBytes));
       *same = memcmp(data, kRawBytes, sizeof(kRawBytes)) == 0;
       return true;
     }},
    {"last int", [](Pickle* p) { return p->WriteInt(INT_MAX); },
     [](const Pickle& p, void** iter, bool* same) {
       int value = 0;
       const bool read = p.ReadInt(iter, &value);
       *same = value == INT_MAX;
       return read;
     }},
};
constexpr int kAllKindsCount = sizeof(kAllKinds) / sizeof(kAllKinds[0]);

// Writes every kind in order; fills `ends` with the payload size after
// each item, when given.
Pickle PickleOfAllKinds(std::vector<uint32_t>* ends = nullptr) {
  Pickle pickle;
  for (const Item& item : kAllKinds) {
    EXPECT_TRUE(item.write(&pickle)) << item.name;
    if (ends)
      ends->push_back(StoredPayloadSize(pickle));
  }
  return pickle;
}

// Reads the items in order from a fresh cursor; returns how many were
// read before the first failure. Values that came back different are
// counted in `*changed`.
int ReadAllKinds(const Pickle& pickle, int* changed) {
  void* iter = nullptr;
  int read = 0;
  for (const Item& item : kAllKinds) {
    bool same = false;
    if (!item.read(pickle, &iter, &same))
      break;
    ++read;
    if (!same)
      ++*changed;
  }
  return read;
}

TEST(PickleTest, WorkedExampleHasExactBytes) {
  Pickle pickle;
  ASSERT_TRUE(pickle.WriteInt(7));
  ASSERT_TRUE(pickle.WriteString("abc"));

  const std::vector<unsigned char> expected = {0x0b, 0, 0, 0, 0x07, 0,   0,  0,
                                               0x03, 0, 0, 0, 'a',  'b', 'c'};
  EXPECT_EQ(BytesOf(pickle), expected);
  EXPECT_EQ(pickle.data()[15], 0) << "padding after the last item";
  EXPECT_EQ(pickle.capacity(), 64u);

  void* iter = nullptr;
  int number = 0;
  std::string text;
  EXPECT_TRUE(pickle.ReadInt(&iter, &number));
  EXPECT_EQ(number, 7);
  EXPECT_TRUE(pickle.ReadString(&iter, &text));
  EXPECT_EQ(text, "abc");
  EXPECT_FALSE(pickle.ReadInt(&iter, &number));
  EXPECT_EQ(CursorOffset(pickle, iter), 4 + 12);

  // The next item starts on the next 4-byte boundary.
  ASSERT_TRUE(pickle.WriteInt(-1));
  EXPECT_EQ(StoredPayloadSize(pickle), 16u);
  EXPECT_EQ(pickle.size(), 20);
  EXPECT_EQ(pickle.data()[15], 0);
}

TEST(PickleTest, EveryKindRoundTripsWritableAndThroughAView) {
  const Pickle written = PickleOfAllKinds();
  const Pickle view(written.data(), written.size());
  const Pickle copy_of_view(view);
  const Pickle* const kPickles[] = {&written, &view, &copy_of_view};
  for (const Pickle* pickle : kPickles) {
    int changed = 0;
    EXPECT_EQ(ReadAllKinds(*pickle, &changed), kAllKindsCount);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(BytesOf(*pickle), BytesOf(written));
  }
  EXPECT_EQ(view.data(), written.data()) << "a view does not copy";
  EXPECT_EQ(view.capacity(), Pickle::kCapacityReadOnly);
  EXPECT_NE(copy_of_view.data(), written.data());
  EXPECT_NE(copy_of_view.capacity(), Pickle::kCapacityReadOnly);
}

TEST(PickleTest, EmptyPickleFailsEveryReadAndStartsTheCursor) {
  const Pickle pickle;
  EXPECT_EQ(pickle.size(), 4);
  EXPECT_EQ(StoredPayloadSize(pickle), 0u);
  EXPECT_EQ(pickle.capacity(), 64u);
  for (const Item& item : kAllKinds) {
    SCOPED_TRACE(item.name);
    void* iter = nullptr;
    bool same = false;
    EXPECT_FALSE(item.read(pickle, &iter, &same));
    // Only ReadBytes refuses a cursor that no read has started.
    const bool starts = std::string(item.name) != "raw bytes";
    EXPECT_EQ(iter, starts ? pickle.data() + 4 : nullptr);
  }
}

TEST(PickleTest, HeaderSizeIsRoundedUpAndBounded) {
  struct Case {
    int header_size;
    int size;
    const char* check;  // The failed check, if any.
  };
  const Case kCases[] = {
      {4, 4, nullptr},
      {5, 8, nullptr},
      {64, 64, nullptr},
      {3, 4,
       "Check failed: static_cast<size_t>(header_size) >= "
       "sizeof(Header). "},
      {65, 4, "Check failed: header_size <= kPayloadUnit. "},
      {-1, 4, "Check failed: header_size >= 0. "},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.header_size);
    test_support::ScopedCheckRecorder recorder;
    Pickle pickle(c.header_size);
    EXPECT_EQ(pickle.size(), c.size);
    EXPECT_EQ(StoredPayloadSize(pickle), 0u);
    if (c.check) {
      EXPECT_EQ(recorder.messages(), std::vector<std::string>{c.check});
    } else {
      EXPECT_TRUE(recorder.messages().empty());
    }
    // Items follow the header, and the header's own bytes start out zero.
    ASSERT_TRUE(pickle.WriteInt(42));
    EXPECT_EQ(pickle.size(), c.size + 4);
    for (int i = 4; i < c.size; ++i)
      EXPECT_EQ(pickle.data()[i], 0) << "header byte " << i;
    void* iter = nullptr;
    int value = 0;
    EXPECT_TRUE(pickle.ReadInt(&iter, &value));
    EXPECT_EQ(value, 42);
  }
}

TEST(PickleTest, StringsTakeTheirUnitsPlusPadding) {
  struct Case {
    int units;
    bool wide;
    uint32_t payload_size;      // After the string alone.
    uint32_t next_item_offset;  // Where a following item starts.
  };
  const Case kCases[] = {
      {0, false, 4, 4}, {3, false, 7, 8}, {4, false, 8, 8},
      {0, true, 4, 4},  {2, true, 8, 8},  {3, true, 10, 12},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.units << (c.wide ? " wide" : ""));
    Pickle pickle;
    ASSERT_TRUE(c.wide ? pickle.WriteWString(std::wstring(c.units, L'x'))
                       : pickle.WriteString(std::string(c.units, 'x')));
    EXPECT_EQ(StoredPayloadSize(pickle), c.payload_size);
    ASSERT_TRUE(pickle.WriteInt(1));
    EXPECT_EQ(StoredPayloadSize(pickle), c.next_item_offset + 4);
    for (uint32_t i = c.payload_size; i < c.next_item_offset; ++i)
      EXPECT_EQ(pickle.data()[4 + i], 0) << "padding at " << i;
  }
}

TEST(PickleTest, CapacityAtLeastDoublesInUnitsOf64) {
  struct Case {
    std::vector<int> writes;  // Lengths of successive raw writes.
    size_t capacity;
  };
  const Case kCases[] = {
      {{}, 64},
      {{60}, 64},         // Needs exactly 64.
      {{61}, 128},        // Needs 65: doubled.
      {{104}, 128},       // Needs 108.
      {{104, 192}, 320},  // Needs 300 from 128: more than doubled.
      {{1000}, 1024},
      {{1, 1, 1}, 64},  // Each item starts on a 4-byte boundary.
  };
  const std::vector<char> source(1000, 'z');
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.writes.size() << " writes");
    Pickle pickle;
    size_t payload = 0;
    for (int length : c.writes) {
      ASSERT_TRUE(pickle.WriteBytes(source.data(), length));
      payload = (payload + 3) / 4 * 4 + length;
    }
    EXPECT_EQ(pickle.capacity(), c.capacity);
    EXPECT_EQ(StoredPayloadSize(pickle), payload);
  }
}

TEST(PickleTest, WritesThatCannotFitChangeNothing) {
  struct Case {
    const char* name;
    bool (*write)(Pickle* pickle);
  };
  static const char kSmall[8] = {};
  const Case kCases[] = {
      {"negative raw length",
       [](Pickle* p) { return p->WriteBytes(kSmall, -1); }},
      {"negative data length",
       [](Pickle* p) { return p->WriteData(kSmall, -4); }},
      {"negative reservation",
       [](Pickle* p) { return p->ReserveWriteData(-1) != nullptr; }},
      {"reservation beyond the limit",
       [](Pickle* p) { return p->ReserveWriteData(INT_MAX) != nullptr; }},
      {"data beyond the limit",
       [](Pickle* p) { return p->WriteData(kSmall, INT_MAX - 3); }},
      {"raw bytes beyond the limit",
       [](Pickle* p) { return p->WriteBytes(kSmall, INT_MAX); }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Pickle pickle;
    ASSERT_TRUE(pickle.WriteString("abc"));
    const std::vector<unsigned char> before = BytesOf(pickle);
    EXPECT_FALSE(c.write(&pickle));
    EXPECT_EQ(BytesOf(pickle), before);
    EXPECT_EQ(pickle.capacity(), 64u);
    // Still usable.
    EXPECT_TRUE(pickle.WriteInt(1));
  }
}

// Values of 64-bit types are stored in 4 bytes; those that do not fit are
// refused rather than cut. Where the type is 4 bytes wide every value fits.
TEST(PickleTest, WideValuesAreStoredInFourBytesOrRefused) {
  struct Case {
    const char* kind;
    int64_t value;
  };
  const Case kCases[] = {
      {"size", 0},
      {"size", 0xffffffffLL},
      {"size", 0x100000000LL},
      {"intptr", INT32_MIN},
      {"intptr", INT32_MAX},
      {"intptr", static_cast<int64_t>(INT32_MAX) + 1},
      {"intptr", static_cast<int64_t>(INT32_MIN) - 1},
      {"long", static_cast<int64_t>(INT32_MAX) + 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.kind << " " << c.value);
    const std::string kind = c.kind;
    Pickle pickle;
    bool written = false;
    int64_t read = -1;
    void* iter = nullptr;
    if (kind == "size") {
      const size_t value = static_cast<size_t>(c.value);
      if (static_cast<int64_t>(value) != c.value)
        continue;  // Not a value of this architecture's type.
      written = pickle.WriteSize(value);
      size_t back = 0;
      if (pickle.ReadSize(&iter, &back))
        read = static_cast<int64_t>(back);
    } else if (kind == "intptr") {
      const intptr_t value = static_cast<intptr_t>(c.value);
      if (value != c.value)
        continue;
      written = pickle.WriteIntPtr(value);
      intptr_t back = 0;
      if (pickle.ReadIntPtr(&iter, &back))
        read = back;
    } else {
      const long value = static_cast<long>(c.value);
      if (value != c.value)
        continue;
      written = pickle.WriteLong(value);
      long back = 0;
      if (pickle.ReadLong(&iter, &back))
        read = back;
    }
    const bool fits = kind == "size"
                          ? c.value <= 0xffffffffLL
                          : c.value >= INT32_MIN && c.value <= INT32_MAX;
    EXPECT_EQ(written, fits);
    EXPECT_EQ(StoredPayloadSize(pickle), fits ? 4u : 0u);
    if (fits) {
      EXPECT_EQ(read, c.value);
    }
  }
}

TEST(PickleTest, PaddingAndTrimmedBytesAreZero) {
  // Stale bytes first: a large pickle shrinks into a small one's contents.
  Pickle pickle;
  const std::vector<char> stale(200, '\xee');
  ASSERT_TRUE(pickle.WriteBytes(stale.data(), 200));
  Pickle small;
  ASSERT_TRUE(small.WriteBytes("abcde", 5));
  pickle = small;
  ASSERT_TRUE(pickle.WriteInt(-1));
  const std::vector<unsigned char> expected = {
      12, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 0, 0, 0, 0xff, 0xff, 0xff, 0xff};
  EXPECT_EQ(BytesOf(pickle), expected);

  // A reservation starts zeroed; trimming zeroes what it gives back.
  char* reserved = pickle.ReserveWriteData(10);
  ASSERT_NE(reserved, nullptr);
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(reserved[i], 0) << "reserved byte " << i;
  memset(reserved, 'v', 10);
  const int old_size = pickle.size();
  pickle.TrimWriteData(1);
  EXPECT_EQ(pickle.size(), old_size - 9);
  for (int i = pickle.size(); i < old_size + 2; ++i)
    EXPECT_EQ(pickle.data()[i], 0) << "byte " << i;
}

TEST(PickleTest, WritesCopyBytesFromTheirOwnBufferAcrossGrowth) {
  Pickle pickle;
  ASSERT_TRUE(pickle.WriteString("seed"));
  for (int round = 0; round < 8; ++round) {
    const std::vector<unsigned char> before = BytesOf(pickle);
    const uint32_t offset = (StoredPayloadSize(pickle) + 3) / 4 * 4;
    ASSERT_TRUE(pickle.WriteBytes(pickle.data(), pickle.size()));
    EXPECT_EQ(memcmp(pickle.data() + 4 + offset, before.data(), before.size()),
              0)
        << "round " << round;
  }
  EXPECT_GT(pickle.capacity(), 1024u);
}

TEST(PickleTest, VariableBufferIsFilledInPlaceAndTrimmed) {
  test_support::ScopedCheckRecorder recorder;
  Pickle pickle;
  ASSERT_TRUE(pickle.WriteInt(5));
  char* buffer = pickle.ReserveWriteData(10);
  ASSERT_NE(buffer, nullptr);
  memcpy(buffer, "0123456789", 10);
  const uint32_t reserved_payload = StoredPayloadSize(pickle);
  EXPECT_EQ(reserved_payload, 4u + 4 + 10);

  pickle.TrimWriteData(6);
  EXPECT_EQ(StoredPayloadSize(pickle), reserved_payload - 4);
  void* iter = nullptr;
  int first = 0;
  const char* data = nullptr;
  int length = 0;
  EXPECT_TRUE(pickle.ReadInt(&iter, &first));
  ASSERT_TRUE(pickle.ReadData(&iter, &data, &length));
  EXPECT_EQ(std::string(data, length), "012345");

  // Longer than it is now, or negative: reported, nothing changes.
  const std::vector<unsigned char> trimmed = BytesOf(pickle);
  pickle.TrimWriteData(7);
  pickle.TrimWriteData(-1);
  EXPECT_EQ(BytesOf(pickle), trimmed);
  EXPECT_EQ(recorder.messages(),
            (std::vector<std::string>{
                "Check failed: false. Invalid length in TrimWriteData.",
                "Check failed: false. Invalid length in TrimWriteData."}));

  // Trimmed again, shorter still; a copy keeps the variable buffer.
  Pickle copy(pickle);
  pickle.TrimWriteData(2);
  copy.TrimWriteData(3);
  EXPECT_EQ(StoredPayloadSize(pickle), 4u + 4 + 2);
  EXPECT_EQ(StoredPayloadSize(copy), 4u + 4 + 3);
  EXPECT_EQ(recorder.messages().size(), 2u);
}

TEST(PickleTest, MisuseIsReportedAndRefused) {
  struct Case {
    const char* name;
    void (*misuse)();
    const char* check;
  };
  const Case kCases[] = {
      {"null cursor",
       [] {
         Pickle pickle;
         int value = 0;
         EXPECT_FALSE(pickle.ReadInt(nullptr, &value));
       },
       "Check failed: iter. "},
      {"null data pointer",
       [] {
         Pickle pickle;
         pickle.WriteData("x", 1);
         void* iter = nullptr;
         int length = 0;
         EXPECT_FALSE(pickle.ReadData(&iter, nullptr, &length));
       },
       "Check failed: data. "},
      {"write into a view",
       [] {
         const char bytes[] = {4, 0, 0, 0, 1, 0, 0, 0};
         Pickle view(bytes, sizeof(bytes));
         EXPECT_FALSE(view.WriteInt(2));
         EXPECT_EQ(bytes[4], 1);
         EXPECT_EQ(view.ReserveWriteData(4), nullptr);
       },
       "Check failed: capacity_ != kCapacityReadOnly. oops: pickle is "
       "readonly"},
      {"second variable buffer",
       [] {
         Pickle pickle;
         ASSERT_NE(pickle.ReserveWriteData(4), nullptr);
         const uint32_t size = StoredPayloadSize(pickle);
         EXPECT_EQ(pickle.ReserveWriteData(4), nullptr);
         EXPECT_EQ(StoredPayloadSize(pickle), size);
       },
       "Check failed: variable_buffer_offset_ == 0U (4 vs. 0)There can only "
       "be one variable buffer in a Pickle"},
      {"trim without a variable buffer",
       [] {
         Pickle pickle;
         pickle.WriteInt(1);
         pickle.TrimWriteData(0);
         EXPECT_EQ(StoredPayloadSize(pickle), 4u);
       },
       "Check failed: variable_buffer_offset_ != 0. "},
      {"trim after a later item",
       [] {
         Pickle pickle;
         ASSERT_NE(pickle.ReserveWriteData(8), nullptr);
         pickle.WriteInt(77);
         const std::vector<unsigned char> before = BytesOf(pickle);
         pickle.TrimWriteData(0);
         EXPECT_EQ(BytesOf(pickle), before);
       },
       "Check failed: false. The variable buffer is no longer the last "
       "item."},
      {"unaligned header size for LocateEnd",
       [] {
         const char bytes[] = {0, 0, 0, 0, 0, 0};
         EXPECT_EQ(Pickle::LocateEnd(2, bytes, bytes + sizeof(bytes)),
                   bytes + 2);
       },
       "Check failed: header_size == AlignInt(header_size, sizeof(uint32)). "},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    test_support::ScopedCheckRecorder recorder;
    c.misuse();
    const std::vector<std::string> messages = recorder.messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0], c.check);
  }
}

TEST(PickleTest, CopiesAndAssignmentsOwnTheirBytes) {
  const Pickle source = PickleOfAllKinds();
  std::vector<unsigned char> received = BytesOf(source);
  const std::vector<unsigned char> original = received;
  const char* bytes = reinterpret_cast<const char*>(received.data());

  // Assigning into a view gives it a buffer of its own; the bytes it
  // viewed stay as they were.
  Pickle view(bytes, static_cast<int>(received.size()));
  Pickle small(16);
  ASSERT_TRUE(small.WriteInt(3));
  view = small;
  EXPECT_NE(view.data(), bytes);
  EXPECT_EQ(BytesOf(view), BytesOf(small));
  EXPECT_TRUE(view.WriteInt(4));
  EXPECT_EQ(received, original);

  // Header sizes differ: the target takes the other's.
  Pickle target;
  target = small;
  EXPECT_EQ(target.size(), 16 + 4);
  EXPECT_EQ(BytesOf(target), BytesOf(small));

  Pickle& alias = target;
  target = alias;
  EXPECT_EQ(BytesOf(target), BytesOf(small));

  // A copy of a view is writable.
  const Pickle second_view(bytes, static_cast<int>(received.size()));
  Pickle copy(second_view);
  EXPECT_TRUE(copy.WriteString("more"));
  EXPECT_EQ(received, original);
  int changed = 0;
  EXPECT_EQ(ReadAllKinds(copy, &changed), kAllKindsCount);
  EXPECT_EQ(changed, 0);
}

// Assigning a view of bytes that lie in the target's own buffer: the
// target lets go of that buffer only after the bytes were copied, whether
// the view is the whole target or a pickle nested in one of its items.
TEST(PickleTest, AssignmentFromAViewOfItsOwnBytes) {
  struct Case {
    const char* name;
    int inner_header;  // Header size of the pickle viewed.
    int outer_header;  // 0: the view is of the whole target.
  };
  const Case kCases[] = {
      {"the whole pickle", 4, 0},
      {"the whole pickle, larger header", 24, 0},
      {"nested, same header", 4, 4},
      {"nested, larger outer header", 4, 32},
      {"nested, smaller outer header", 24, 4},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Pickle inner(c.inner_header);
    for (const Item& item : kAllKinds)
      ASSERT_TRUE(item.write(&inner));
    const std::vector<unsigned char> expected = BytesOf(inner);

    Pickle outer(c.outer_header == 0 ? 4 : c.outer_header);
    Pickle& target = c.outer_header == 0 ? inner : outer;
    const char* bytes = inner.data();
    int length = inner.size();
    if (c.outer_header != 0) {
      ASSERT_TRUE(outer.WriteInt(1));
      ASSERT_TRUE(outer.WriteData(inner.data(), inner.size()));
      void* iter = nullptr;
      int first = 0;
      ASSERT_TRUE(outer.ReadInt(&iter, &first));
      ASSERT_TRUE(outer.ReadData(&iter, &bytes, &length));
    }

    target = Pickle(bytes, length);
    EXPECT_EQ(BytesOf(target), expected);
    int changed = 0;
    EXPECT_EQ(ReadAllKinds(target, &changed), kAllKindsCount);
    EXPECT_EQ(changed, 0);
    EXPECT_TRUE(target.WriteInt(5));
  }
}

// A view checks the stored payload size once, when it is made. Bytes that
// change afterwards (shared memory, a buffer the caller reuses) can neither
// stretch it past the length it was given nor cut it short.
TEST(PickleTest, ViewKeepsThePayloadSizeItValidated) {
  struct Case {
    const char* name;
    uint32_t stored_later;  // Written over the header once the view exists.
  };
  const Case kCases[] = {
      {"grown by one item", 8},
      {"grown to the largest size", 0xffffffffu},
      {"shrunk to nothing", 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    // The view is given the first 8 bytes; the rest belongs to someone else.
    std::vector<char> bytes = {4, 0, 0, 0, 9, 0, 0, 0, 'n', 'o', 't', '!'};
    const Pickle view(bytes.data(), 8);
    memcpy(bytes.data(), &c.stored_later, sizeof(c.stored_later));

    EXPECT_EQ(view.size(), 8);
    void* iter = nullptr;
    int value = 0;
    EXPECT_TRUE(view.ReadInt(&iter, &value));
    EXPECT_EQ(value, 9);
    EXPECT_FALSE(view.ReadInt(&iter, &value));
    EXPECT_EQ(value, 9);
    // A copy takes the validated size, and its own header states it.
    const Pickle copy(view);
    EXPECT_EQ(copy.size(), 8);
    EXPECT_EQ(StoredPayloadSize(copy), 4u);
  }
}

// Bytes that are not one whole pickle give an empty view: every read
// fails, nothing outside the bytes is read, and nothing is fatal.
TEST(PickleTest, ViewOfBytesThatAreNotAPickleHoldsNothing) {
  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
    int data_len;  // -1: the bytes' own length.
    bool valid;
  };
  const Case kCases[] = {
      {"no bytes", {}, -1, false},
      {"shorter than the header", {0, 0, 0}, -1, false},
      {"negative length", {0, 0, 0, 0}, -5, false},
      {"payload longer than the bytes", {8, 0, 0, 0, 1, 0, 0, 0}, -1, false},
      {"payload size 0xffffffff",
       {0xff, 0xff, 0xff, 0xff, 1, 2, 3, 4},
       -1,
       false},
      {"header not a multiple of 4", {2, 0, 0, 0, 0, 0, 1, 0}, -1, false},
      {"header over 64 bytes", std::vector<unsigned char>(68, 0), -1, false},
      {"empty pickle", {0, 0, 0, 0}, -1, true},
      {"one int", {4, 0, 0, 0, 9, 0, 0, 0}, -1, true},
      {"8-byte header", {4, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0}, -1, true},
      {"64-byte header", std::vector<unsigned char>(64, 0), -1, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    test_support::ScopedCheckRecorder recorder;
    const ExactBuffer buffer(c.bytes);
    const int data_len = c.data_len == -1 ? buffer.size() : c.data_len;
    const Pickle view(buffer.data(), data_len);
    EXPECT_EQ(view.capacity(), Pickle::kCapacityReadOnly);
    if (c.valid) {
      EXPECT_EQ(view.data(), buffer.data());
      EXPECT_EQ(view.size(), data_len);
    } else {
      EXPECT_EQ(view.size(), 4);
      EXPECT_NE(view.data(), buffer.data());
      int changed = 0;
      EXPECT_EQ(ReadAllKinds(view, &changed), 0);
      // A copy is an empty writable pickle.
      Pickle copy(view);
      EXPECT_EQ(copy.size(), 4);
      EXPECT_TRUE(copy.WriteInt(1));
    }
    EXPECT_TRUE(recorder.messages().empty());
  }
  // The same with a null pointer.
  const Pickle null_view(nullptr, 16);
  EXPECT_EQ(null_view.size(), 4);
}

// Stored lengths and values that a sound writer never produces: each read
// fails without reading past the payload, leaving its out-parameter alone.
TEST(PickleTest, HostileItemsFailToRead) {
  enum Reader { STRING, WSTRING, STRING16, DATA, BOOL, INT64 };
  struct Case {
    const char* name;
    std::vector<int32_t> words;  // The payload.
    Reader reader;
    int cursor_after;  // Payload offset of the cursor after the failure.
  };
  const Case kCases[] = {
      {"string length -1", {-1, 0}, STRING, 4},
      {"string length INT_MIN", {INT_MIN, 0}, STRING, 4},
      {"string length INT_MAX", {INT_MAX, 0, 0}, STRING, 4},
      {"string one byte short", {9, 0, 0}, STRING, 4},
      {"wide length whose bytes overflow an int", {0x40000000, 0}, WSTRING, 4},
      {"wide length INT_MAX", {INT_MAX, 0}, WSTRING, 4},
      {"wide length negative", {-2, 0}, WSTRING, 4},
      {"wide string one unit short", {3, 0}, WSTRING, 4},
      {"string16 length whose bytes wrap", {0x7ffffffe, 0}, STRING16, 4},
      {"data length -4", {-4, 0}, DATA, 4},
      {"data length INT_MAX", {INT_MAX, 0}, DATA, 4},
      {"data one byte short", {5, 0}, DATA, 4},
      {"bool 2", {2}, BOOL, 0},
      {"bool -1", {-1}, BOOL, 0},
      {"bool 256", {256}, BOOL, 0},
      {"int64 cut short", {1}, INT64, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Pickle written;
    for (int32_t word : c.words)
      ASSERT_TRUE(written.WriteInt(word));
    const ExactBuffer buffer(BytesOf(written));
    const Pickle view(buffer.data(), buffer.size());
    ASSERT_EQ(view.size(), written.size());

    void* iter = nullptr;
    bool read = true;
    bool untouched = false;
    switch (c.reader) {
      case STRING: {
        std::string value = "sentinel";
        read = view.ReadString(&iter, &value);
        untouched = value == "sentinel";
        break;
      }
      case WSTRING: {
        std::wstring value = L"sentinel";
        read = view.ReadWString(&iter, &value);
        untouched = value == L"sentinel";
        break;
      }
      case STRING16: {
        string16 value(3, 's');
        read = view.ReadString16(&iter, &value);
        untouched = value == string16(3, 's');
        break;
      }
      case DATA: {
        const char* data = nullptr;
        int length = 0;
        read = view.ReadData(&iter, &data, &length);
        untouched = data == nullptr;
        break;
      }
      case BOOL: {
        bool value = false;
        read = view.ReadBool(&iter, &value);
        untouched = !value;
        break;
      }
      case INT64: {
        int64_t value = 3;
        read = view.ReadInt64(&iter, &value);
        untouched = value == 3;
        break;
      }
    }
    EXPECT_FALSE(read);
    EXPECT_TRUE(untouched);
    EXPECT_EQ(CursorOffset(view, iter), 4 + c.cursor_after);
  }
}

// Every prefix of a valid pickle: as it comes (its header then claims more
// than there is) and with its header made to match (the last items are
// then missing). Reads stop exactly at the first missing item.
TEST(PickleTest, EveryTruncationFailsCleanly) {
  std::vector<uint32_t> ends;
  const Pickle whole = PickleOfAllKinds(&ends);
  const std::vector<unsigned char> bytes = BytesOf(whole);
  for (size_t length = 0; length < bytes.size(); ++length) {
    SCOPED_TRACE(length);
    std::vector<unsigned char> prefix(bytes.begin(), bytes.begin() + length);
    const ExactBuffer as_cut(prefix);
    int changed = 0;
    EXPECT_EQ(ReadAllKinds(Pickle(as_cut.data(), as_cut.size()), &changed), 0);

    if (length < 4)
      continue;
    const uint32_t payload = static_cast<uint32_t>(length - 4);
    memcpy(prefix.data(), &payload, sizeof(payload));
    const ExactBuffer matched(prefix);
    int expected = 0;
    while (expected < kAllKindsCount && ends[expected] <= payload)
      ++expected;
    EXPECT_EQ(ReadAllKinds(Pickle(matched.data(), matched.size()), &changed),
              expected);
    EXPECT_EQ(changed, 0);
  }
}

TEST(PickleTest, LocateEndFindsWholePicklesOnly) {
  Pickle first;
  first.WriteInt(7);
  first.WriteString("abc");  // 15 bytes.
  Pickle second;
  second.WriteInt(1);  // 8 bytes.
  std::vector<unsigned char> stream = BytesOf(first);
  const std::vector<unsigned char> tail = BytesOf(second);
  stream.insert(stream.end(), tail.begin(), tail.end());
  stream.insert(stream.end(), {0xff, 0xff, 0xff, 0xff});  // A huge size.
  stream.insert(stream.end(), {0, 0, 0, 0});
  const ExactBuffer buffer(stream);
  const char* base = buffer.data();

  struct Case {
    const char* name;
    size_t header_size;
    int start;
    int end;
    int located;  // Offset of the end found, or -1 for null.
  };
  const Case kCases[] = {
      {"first of two", 4, 0, 23, 15},
      {"second of two", 4, 15, 23, 23},
      {"one byte short", 4, 0, 14, -1},
      {"exactly one", 4, 0, 15, 15},
      {"larger header", 8, 0, 23, 19},
      {"shorter than the size field", 4, 0, 3, -1},
      {"empty range", 4, 0, 0, -1},
      {"shorter than the header", 8, 15, 22, -1},
      {"end before start", 4, 15, 0, -1},
      {"payload size 0xffffffff", 4, 23, 31, -1},
      // Without a header of its own the size field still has to fit.
      {"no header, size field whole", 0, 27, 31, 27},
      {"no header, size field cut", 0, 27, 30, -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const char* located =
        Pickle::LocateEnd(c.header_size, base + c.start, base + c.end);
    if (c.located < 0) {
      EXPECT_EQ(located, nullptr);
    } else {
      EXPECT_EQ(located, base + c.located);
    }
  }
  EXPECT_EQ(Pickle::LocateEnd(4, nullptr, nullptr), nullptr);
}

// Thousands of damaged pickles, made with a fixed seed so that a failure
// repeats. Reads may fail or return changed values; they must not crash,
// report a failed check, or point outside the bytes.
TEST(PickleTest, MutatedPicklesNeverBreakTheReader) {
  const std::vector<unsigned char> original = BytesOf(PickleOfAllKinds());
  const int32_t kHostileWords[] = {
      0,          1,
      2,          -1,
      INT_MIN,    INT_MAX,
      0x40000000, 0x7ffffffe,
      64,         static_cast<int32_t>(original.size())};
  std::mt19937 random(20240517);
  auto below = [&random](size_t n) {
    return std::uniform_int_distribution<size_t>(0, n - 1)(random);
  };

  int whole_reads = 0;
  for (int round = 0; round < 20000; ++round) {
    std::vector<unsigned char> bytes = original;
    const int mutations = 1 + static_cast<int>(below(4));
    for (int m = 0; m < mutations && !bytes.empty(); ++m) {
      switch (below(4)) {
        case 0:
          bytes[below(bytes.size())] = static_cast<unsigned char>(below(256));
          break;
        case 1: {
          const int32_t word = kHostileWords[below(std::size(kHostileWords))];
          const size_t at = below(bytes.size() / 4) * 4;
          if (at + 4 <= bytes.size())
            memcpy(&bytes[at], &word, sizeof(word));
          break;
        }
        case 2:
          bytes.resize(below(bytes.size() + 1));
          break;
        case 3:
          for (size_t extra = below(9); extra > 0; --extra)
            bytes.push_back(static_cast<unsigned char>(below(256)));
          break;
      }
    }
    // Mostly keep the header consistent, so that the items get read.
    if (bytes.size() >= 4 && below(4) != 0) {
      const uint32_t payload = static_cast<uint32_t>(bytes.size() - 4);
      memcpy(bytes.data(), &payload, sizeof(payload));
    }

    const ExactBuffer buffer(bytes);
    const Pickle view(buffer.data(), buffer.size());
    int changed = 0;
    if (ReadAllKinds(view, &changed) == kAllKindsCount)
      ++whole_reads;

    // Items read in an order no writer used.
    void* iter = nullptr;
    for (int step = 0; step < 24; ++step) {
      bool same = false;
      kAllKinds[below(kAllKindsCount)].read(view, &iter, &same);
    }

    Pickle copy(view);
    ReadAllKinds(copy, &changed);
    EXPECT_TRUE(copy.WriteInt(round));

    const char* end =
        Pickle::LocateEnd(4, buffer.data(), buffer.data() + buffer.size());
    if (end) {
      EXPECT_GE(end, buffer.data() + 4);
      EXPECT_LE(end, buffer.data() + buffer.size());
    }
    if (testing::Test::HasFailure()) {
      ADD_FAILURE() << "round " << round;
      break;
    }
  }
  // Some mutations leave the items whole (a changed value, padding).
  EXPECT_GT(whole_reads, 0);
}

}  // namespace
}  // namespace base
