#include "app/object_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Tracked {
  explicit Tracked(std::vector<int>* log, int id) : log(log), id(id) {}
  virtual ~Tracked() { log->push_back(id); }
  std::vector<int>* log;
  int id;
};

TEST(ObjectList, EmptyListOperations) {
  ObjectList<Tracked> list;
  list.RemoveAll();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Find(nullptr), -1);
}

TEST(ObjectList, FindReturnsTheFirstOfDuplicatesAndRemoveAtKeepsOrder) {
  std::vector<int> log;
  Tracked a(&log, 1), b(&log, 2), c(&log, 3);
  ObjectList<Tracked> list;
  list.Add(&a);
  list.Add(&b);
  list.Add(&a);
  list.Add(&c);
  EXPECT_EQ(list.Find(&a), 0);
  EXPECT_EQ(list.Find(&c), 3);
  list.RemoveAt(0);
  EXPECT_EQ(list.At(0), &b);
  EXPECT_EQ(list.At(1), &a);
  EXPECT_EQ(list.Find(&a), 1);
  EXPECT_TRUE(log.empty()) << "a plain list never deletes";
}

TEST(ObjectList, RemoveAtOnASingleElementEmptiesTheList) {
  std::vector<int> log;
  Tracked a(&log, 1);
  ObjectList<Tracked> list;
  list.Add(&a);
  list.RemoveAt(0);
  EXPECT_EQ(list.Count(), 0);
}

TEST(ObjectList, CopyFromEmptyEmptiesAndCopyLeavesTheSourceAlone) {
  std::vector<int> log;
  Tracked a(&log, 1), b(&log, 2);
  ObjectList<Tracked> source, target, empty;
  source.Add(&a);
  source.Add(&b);
  target.CopyFrom(source);
  ASSERT_EQ(target.Count(), 2);
  EXPECT_EQ(target.At(1), &b);
  EXPECT_EQ(source.Count(), 2);
  target.CopyFrom(empty);
  EXPECT_EQ(target.Count(), 0);
}

TEST(OwningObjectList, RemoveAllAndDestructionDeleteFirstToLast) {
  std::vector<int> log;
  {
    OwningObjectList<Tracked> list;
    for (int i = 1; i <= 3; ++i) list.Add(new Tracked(&log, i));
    list.RemoveAll();
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3}));
    for (int i = 4; i <= 5; ++i) list.Add(new Tracked(&log, i));
    list.RemoveAt(1);
    EXPECT_EQ(log.back(), 5);
  }
  EXPECT_EQ(log, (std::vector<int>{1, 2, 3, 5, 4}));
}

TEST(OwningObjectList, CopyFromDeletesTheCurrentObjects) {
  std::vector<int> log;
  Tracked kept(&log, 9);
  ObjectList<Tracked> other;
  other.Add(&kept);
  OwningObjectList<Tracked> list;
  list.Add(new Tracked(&log, 1));
  list.CopyFrom(other);
  EXPECT_EQ(log, (std::vector<int>{1}));
  list.ObjectList<Tracked>::RemoveAt(0);  // drop without deleting the borrowed one
}

}  // namespace
