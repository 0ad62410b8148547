// Registry: the chained hash table of one record class that maps command names (at most 255
// bytes) to their CommandHandler, with a reference count per entry. Every class uses 4093
// buckets; new entries go to the head of their bucket.
#pragma once

#include <cstdint>
#include <vector>

#include "presets/stream_record.h"

namespace shimmerly {

class Registry {
 public:
  struct Entry {
    char name[256] = {};
    CommandHandler handler = nullptr;
    int32_t references = 0;
    Entry* next = nullptr;
  };

  static constexpr int32_t kClassBuckets = 4093;

  explicit Registry(int32_t buckets);
  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // The entry of name with one more reference; a given handler replaces the entry's handler.
  // A missing entry is added with the handler (or none) and one reference.
  Entry* findOrAdd(const char* name, CommandHandler handler);
  // One reference less; at none the entry is unlinked and freed. An entry that is not in its
  // bucket is reported on standard output and left alone.
  void release(Entry* entry);

  // The bucket of a name: the name's hash modulo the bucket count, made non-negative.
  int32_t bucketOf(const char* name) const;
  static uint32_t hash(const char* name);
  int32_t bucketCount() const { return static_cast<int32_t>(buckets_.size()); }

 private:
  std::vector<Entry*> buckets_;
};

}  // namespace shimmerly
