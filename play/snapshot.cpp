#include "play/snapshot.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "app/game_app.h"
#include "play/play_scene.h"
#include "world/tool.h"
#include "world/world.h"

namespace {

Snapshot::FaceRef RefOf(const World& world, const Face* face) {
  Snapshot::FaceRef ref;
  if (!face) return ref;
  if (face == &world.table.TopRecord())
    ref.block = Snapshot::FaceRef::kTableTop;
  else if (face == &world.grabLayer.quad)
    ref.block = Snapshot::FaceRef::kHandleQuad;
  else if (face == &world.blockSet.dragQuad)
    ref.block = Snapshot::FaceRef::kDragQuad;
  else if (face->owner && face >= face->owner->faces && face < face->owner->faces + 6) {
    ref.block = int32_t(face->owner->id);
    ref.face = int32_t(face - face->owner->faces);
  }
  return ref;
}

Snapshot::Quad QuadOf(const Face& face) {
  Snapshot::Quad quad;
  for (int k = 0; k < 4; ++k) quad.corners[k] = *face.corner[k];
  quad.normal = face.normal;
  quad.area012 = face.area012;
  quad.area230 = face.area230;
  return quad;
}

void PutQuad(const Snapshot::Quad& quad, Face* face) {
  for (int k = 0; k < 4; ++k) *face->corner[k] = quad.corners[k];
  face->normal = quad.normal;
  face->area012 = quad.area012;
  face->area230 = quad.area230;
}

}  // namespace

Snapshot TakeSnapshot(const World& world, const PlayScene& play) {
  Snapshot s;
  s.pitch = play.pitch;
  s.yaw = play.yaw;
  s.zoom = play.zoom;
  for (int i = 0; i < World::kToolCount; ++i)
    if (world.tools[i].get() == play.currentTool) s.tool = i;
  std::memcpy(s.pen, play.penColour, 3);
  s.tableCentre = world.table.centre;
  if (const DibImage* paint = world.table.texture.Backing()) s.tableTexels = paint->Buffer();
  if (const uint8_t* bits = static_cast<const DibImage&>(world.canvas).DibBits())
    s.canvasPixels.assign(bits, bits + size_t(world.canvas.Width()) * world.canvas.Height() * 3);
  const BlockSet& set = world.blockSet;
  const GrabLayer& layer = world.grabLayer;
  s.handleQuad = QuadOf(layer.quad);
  s.dragQuad = QuadOf(set.dragQuad);
  s.supportQuad = RefOf(world, set.supportQuad);
  s.pendingFace = RefOf(world, set.pendingFace);
  s.savedLink = RefOf(world, set.savedLink);
  s.groupBlock = set.groupBlock ? int32_t(set.groupBlock->id) : -1;
  s.snapOffset = set.snapOffset;
  s.blocks.resize(size_t(set.Count()));
  for (int i = 0; i < set.Count(); ++i) {
    const Block& b = *set.At(i);
    Snapshot::Block& o = s.blocks[size_t(i)];
    o.id = b.id;
    CopyBodyState(b, o);
    o.handle = b.grabHandle ? layer.Find(b.grabHandle) : -1;
    for (int f = 0; f < 6; ++f) {
      const Face& face = b.faces[f];
      Snapshot::Face& out = o.faces[f];
      out.normal = face.normal;
      out.area012 = face.area012;
      out.area230 = face.area230;
      out.link = RefOf(world, face.link);
      const DibImage* texels = face.texture ? face.texture->Backing() : nullptr;
      if (texels && texels->Buffer().size() == out.texels.size())
        std::copy(texels->Buffer().begin(), texels->Buffer().end(), out.texels.begin());
    }
  }
  s.handles.resize(size_t(layer.Count()));
  for (int i = 0; i < layer.Count(); ++i) {
    const GrabHandle& h = *layer.At(i);
    s.handles[size_t(i)] = {h.block ? h.block->id : 0, h.anchor, h.screenX, h.screenY};
  }
  return s;
}

bool RestoreSnapshot(const Snapshot& s, World* world, PlayScene* play, std::string* why) {
  if (!CheckSnapshot(s, why)) return false;
  GameApp* app = world->app;
  platform::render::RenderDevice* device = app->Graphics().Device();
  BlockSet& set = world->blockSet;
  GrabLayer& layer = world->grabLayer;
  set.FinishPickRefresh();
  play->heldBody = nullptr;
  play->heldHandle = nullptr;
  layer.DropAll();
  set.ResetGlueState();
  set.supportQuad = set.savedLink = nullptr;
  set.settleCheck = 0;

  // The same blocks in the same order (an undo of a move or a stroke): each is written over in
  // place, its textures only where their texels differ. Otherwise the list is made anew.
  bool same_list = set.Count() == int(s.blocks.size());
  for (int i = 0; same_list && i < set.Count(); ++i)
    same_list = set.At(i)->id == s.blocks[size_t(i)].id;
  if (!same_list) {
    set.RemoveAll();
    set.ContinueIdsAfter(0);  // the ids handed out below are replaced by the snapshot's
  }
  std::unordered_map<uint32_t, Block*> by_id;
  uint32_t largest = 0;
  for (size_t i = 0; i < s.blocks.size(); ++i) {
    const Snapshot::Block& o = s.blocks[i];
    Block* b = same_list ? set.At(int(i))
                         : set.AddBlockOwnContext(device, app->Sounds(), o.centre, o.size);
    b->id = o.id;
    largest = std::max(largest, o.id);
    by_id[o.id] = b;
    b->grabHandle = nullptr;
    CopyBodyState(o, *b);
    for (int f = 0; f < 6; ++f) {
      Face& face = b->faces[f];
      face.normal = o.faces[f].normal;
      face.area012 = o.faces[f].area012;
      face.area230 = o.faces[f].area230;
      // A face showing the shared blank texture gets its own only where the texels differ.
      const auto& want = o.faces[f].texels;
      if (const DibImage* shown = face.texture ? face.texture->Backing() : nullptr;
          shown && shown->Buffer().size() == want.size() &&
          !std::equal(want.begin(), want.end(), shown->Buffer().begin())) {
        if (ImageTexture* texture = b->PaintableFaceTexture(f)) {
          std::copy(want.begin(), want.end(), texture->Backing()->Buffer().begin());
          texture->Upload(0, 0, texture->Width(), texture->Height());
        }
      }
    }
  }
  if (!same_list) set.ContinueIdsAfter(largest);
  const auto face_of = [&](const Snapshot::FaceRef& ref) -> Face* {
    switch (ref.block) {
      case Snapshot::FaceRef::kNone:
        return nullptr;
      case Snapshot::FaceRef::kTableTop:
        return &world->table.TopRecord();
      case Snapshot::FaceRef::kHandleQuad:
        return &layer.quad;
      case Snapshot::FaceRef::kDragQuad:
        return &set.dragQuad;
      default:
        return &by_id.at(uint32_t(ref.block))->faces[ref.face];
    }
  };
  for (size_t i = 0; i < s.blocks.size(); ++i)
    for (int f = 0; f < 6; ++f) set.At(int(i))->faces[f].link = face_of(s.blocks[i].faces[f].link);
  for (const Snapshot::Handle& o : s.handles) {
    auto* h = new GrabHandle();
    h->block = by_id.at(o.block);
    h->anchor = o.anchor;
    h->screenX = o.screenX;
    h->screenY = o.screenY;
    layer.Add(h);
  }
  for (size_t i = 0; i < s.blocks.size(); ++i)
    if (s.blocks[i].handle >= 0) set.At(int(i))->grabHandle = layer.At(s.blocks[i].handle);
  PutQuad(s.handleQuad, &layer.quad);
  PutQuad(s.dragQuad, &set.dragQuad);
  set.supportQuad = face_of(s.supportQuad);
  set.pendingFace = face_of(s.pendingFace);
  set.savedLink = face_of(s.savedLink);
  set.groupBlock = s.groupBlock >= 0 ? by_id.at(uint32_t(s.groupBlock)) : nullptr;
  set.snapOffset = s.snapOffset;

  Table& table = world->table;
  table.PlaceAt(s.tableCentre);
  if (DibImage* paint = table.texture.Backing();
      paint && paint->Buffer().size() == s.tableTexels.size()) {
    std::copy(s.tableTexels.begin(), s.tableTexels.end(), paint->Buffer().begin());
    table.texture.Upload(0, 0, table.texture.Width(), table.texture.Height());
  }
  if (uint8_t* bits = world->canvas.DibBits();
      bits && size_t(world->canvas.Width()) * world->canvas.Height() * 3 == s.canvasPixels.size())
    std::copy(s.canvasPixels.begin(), s.canvasPixels.end(), bits);

  const Tool* tool = world->tools[s.tool].get();
  play->currentTool =
      tool->type == Tool::kDoor ? world->tools[0].get() : world->tools[s.tool].get();
  std::memcpy(play->penColour, s.pen, 3);
  play->ResumeAt(s.pitch, s.yaw, s.zoom);
  return true;
}
