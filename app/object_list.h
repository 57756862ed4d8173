// The program's container of objects: pointers in insertion order. A plain list only drops a
// pointer on removal; an OwningObjectList deletes the object first.
#pragma once

#include <cassert>
#include <vector>

template <class T>
class ObjectList {
 public:
  ObjectList() = default;
  ObjectList(const ObjectList&) = delete;
  ObjectList& operator=(const ObjectList&) = delete;
  virtual ~ObjectList() = default;  // drops what is left without deleting

  virtual void Add(T* object) { items_.push_back(object); }
  virtual void RemoveAt(int index) {
    assert(index >= 0 && index < Count());
    items_.erase(items_.begin() + index);
  }
  // Through the virtual RemoveAt, so an owning list deletes first to last.
  virtual void RemoveAll() {
    while (Count() >= 1) RemoveAt(0);
  }
  virtual void CopyFrom(const ObjectList& other) {
    RemoveAll();
    for (T* object : other.items_) Add(object);
  }
  virtual int Find(const T* object) const {
    for (int i = 0; i < Count(); ++i)
      if (items_[i] == object) return i;
    return -1;
  }

  // Drops, without deleting, every object `pick` chooses, in one pass; the rest keep their order.
  template <class Pick>
  void DropWhere(Pick pick) {
    std::erase_if(items_, pick);
  }

  T* At(int index) const {
    assert(index >= 0 && index < Count());
    return items_[index];
  }
  int Count() const { return int(items_.size()); }
  // The objects in list order, for code that takes them all at once without knowing the list.
  T* const* Items() const { return items_.data(); }

 private:
  std::vector<T*> items_;
};

// Owns its objects: removing one deletes it through its virtual destructor.
template <class T>
class OwningObjectList : public ObjectList<T> {
 public:
  ~OwningObjectList() override {
    while (this->Count() >= 1) RemoveAt(0);
  }
  void RemoveAt(int index) override {
    delete this->At(index);
    ObjectList<T>::RemoveAt(index);
  }
};
