// A random source that returns the values a test lists, in order, and fails
// the test if the code under test draws more than were listed.

#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <initializer_list>

#include "scene/random.h"

namespace support {

class ScriptedRandom final : public scene::RandomSource {
 public:
  ScriptedRandom() { previous_ = scene::SetRandomSource(this); }
  ~ScriptedRandom() override { scene::SetRandomSource(previous_); }
  ScriptedRandom(const ScriptedRandom&) = delete;
  ScriptedRandom& operator=(const ScriptedRandom&) = delete;

  void Add(std::initializer_list<std::uint32_t> values) { values_.insert(values_.end(), values); }
  std::size_t left() const { return values_.size(); }

  std::uint32_t Next() override {
    if (values_.empty()) {
      ADD_FAILURE() << "more random draws than scripted";
      return 0;
    }
    const std::uint32_t v = values_.front();
    values_.pop_front();
    return v;
  }

 private:
  std::deque<std::uint32_t> values_;
  scene::RandomSource* previous_ = nullptr;
};

}  // namespace support
