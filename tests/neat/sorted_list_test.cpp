#include "neat/sorted_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "neat_test_util.h"

namespace qf {
namespace {

struct Item {
  uint32_t key;
};

class ItemList : public TSortedList<Item> {
public:
  explicit ItemList(bool sorted) : TSortedList(sorted) {}
  uint32_t KeyOf(const Item* item) const override { return item->key; }
};

std::vector<uint32_t> Keys(const ItemList& list) {
  std::vector<uint32_t> keys;
  for (const Item* item : list) keys.push_back(item->key);
  return keys;
}

TEST(SortedList, DuplicateModes) {
  Item i5{5}, i3{3}, i9{9}, again3{3};

  ItemList error(true);
  EXPECT_EQ(error.Duplicates, dupError);
  error.Add(&i5);
  error.Add(&i3);
  error.Add(&i9);
  try {
    error.Add(&again3);
    ADD_FAILURE() << "a duplicate key was accepted";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "Duplicates are not allowed!");
  }
  EXPECT_EQ(Keys(error), (std::vector<uint32_t>{3, 5, 9}));

  ItemList accept(true);
  accept.Duplicates = dupAccept;
  accept.Add(&i5);
  accept.Add(&i3);
  accept.Add(&i9);
  EXPECT_EQ(accept.Add(&again3), 0);
  EXPECT_EQ(Keys(accept), (std::vector<uint32_t>{3, 3, 5, 9}));
  EXPECT_EQ(accept[0], &again3) << "the later duplicate goes in front";
  EXPECT_EQ(accept[1], &i3);

  ItemList ignore(true);
  ignore.Duplicates = dupIgnore;
  ignore.Add(&i5);
  ignore.Add(&i3);
  ignore.Add(&i9);
  EXPECT_EQ(ignore.Add(&again3), 0);
  Item again9{9};
  EXPECT_EQ(ignore.Add(&again9), 2);
  EXPECT_EQ(Keys(ignore), (std::vector<uint32_t>{3, 5, 9}));
  EXPECT_EQ(ignore[0], &i3);
}

TEST(SortedList, KeepsOrderAndFindsByBisection) {
  ItemList list(true);
  std::vector<Item> items;
  for (uint32_t k : {40u, 10u, 30u, 0xFFFFFFFFu, 20u, 50u, 0u}) items.push_back({k});
  for (Item& item : items) list.Add(&item);
  // A key of -1 (a pooled node's number) compares unsigned and orders last.
  EXPECT_EQ(Keys(list), (std::vector<uint32_t>{0, 10, 20, 30, 40, 50, 0xFFFFFFFFu}));

  int32_t index = -7;
  EXPECT_TRUE(list.Search(30, index));
  EXPECT_EQ(index, 3);
  EXPECT_FALSE(list.Search(35, index));
  EXPECT_EQ(index, 4) << "an absent key gives its insertion position";
  EXPECT_FALSE(list.Search(60, index));
  EXPECT_EQ(index, 6);
  EXPECT_EQ(list.Find(50)->key, 50u);
  EXPECT_EQ(list.Find(0xFFFFFFFFu)->key, 0xFFFFFFFFu);
  EXPECT_EQ(list.Find(15), nullptr);

  ItemList empty(true);
  EXPECT_FALSE(empty.Search(1, index));
  EXPECT_EQ(index, 0);
}

TEST(SortedList, AcceptModeSearchFindsFirstOfEqualKeys) {
  ItemList list(true);
  list.Duplicates = dupAccept;
  std::vector<Item> items{{1}, {2}, {2}, {2}, {3}};
  for (Item& item : items) list.Add(&item);
  int32_t index = -1;
  EXPECT_TRUE(list.Search(2, index));
  EXPECT_EQ(index, 1);
}

TEST(SortedList, UnsortedListKeepsInsertionOrderAndAcceptsAnything) {
  ItemList list(false);
  Item a{7}, b{3}, c{7};
  EXPECT_EQ(list.Add(&a), 0);
  EXPECT_EQ(list.Add(nullptr), 1);
  EXPECT_EQ(list.Add(&b), 2);
  EXPECT_EQ(list.Add(&c), 3);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list[1], nullptr);
  EXPECT_EQ(list[3], &c);

  ItemList plain(false);
  plain.Add(&a);
  plain.Add(&b);
  plain.Add(&c);
  int32_t index = 0;
  EXPECT_TRUE(plain.Search(7, index));
  EXPECT_EQ(index, 0) << "the first match";
  EXPECT_FALSE(plain.Search(4, index));
  EXPECT_EQ(index, -1);
  EXPECT_EQ(plain.Find(3), &b);
}

TEST(SortedList, RefusesNilAndOutOfRangeIndices) {
  ItemList list(true);
  EXPECT_EQ(test::AssertionOf([&] { list.Add(nullptr); }), "Sorted list can't contain nil!");
  Item a{1};
  list.Add(&a);
  EXPECT_THROW(list.Items(1), EListError);
  EXPECT_THROW(list.Items(-1), EListError);
  EXPECT_THROW(list.Delete(3), EListError);
  EXPECT_EQ(list.Items(0), &a);
}

}  // namespace
}  // namespace qf
