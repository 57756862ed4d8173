// What the play space keeps and opens: Ctrl+S saves the construction as a new picture in the
// person's pictures folder, leaving the play space keeps it as last.png in the toy's state
// folder, and a dropped or named file replaces the construction (from the title, it enters the
// play space with it). Failures are said on standard error and, in the play space, in the picture;
// play goes on.
#pragma once

#include <string>

class GameApp;

// The play space is the current scene.
bool InPlaySpace(const GameApp& app);
// Builds the play space's starting towers and makes it the current scene, as the start button
// does (without its sound and pause).
void EnterPlaySpace(GameApp& app);

// A new zentrova-YYYYMMDD-HHMMSS.png in the pictures folder, never over an existing file; the
// notice and the selection sound. True with the file's path in *written. Here and in every save
// and export, a drag or stroke still held ends first, as a release would.
bool SaveToPictures(GameApp& app, std::string* written);

// A new zentrova-YYYYMMDD-HHMMSS.glb beside the saved pictures, the construction as a glTF file
// for other 3D programs; the same notice, sound and messages as a save. True with its path.
bool ExportToPictures(GameApp& app, std::string* written);

// After every update: the history starts anew when the play space was entered, takes a step when
// a gesture may have changed the construction, and is let go outside the play space.
void KeepHistory(GameApp& app);
// One gesture back or forward, with the selection sound; a drag still held ends first, as a
// release would. The camera, tool and pen stay as they are. False, silently, when there is none.
bool Undo(GameApp& app);
bool Redo(GameApp& app);

// The construction saved as a picture at `path`, replacing a file there in one step; false with
// the reason. The tools that make constructions to open use it.
bool SaveConstructionTo(GameApp& app, const std::string& path, std::string* why);

// $XDG_STATE_HOME/zentrova/last.png, replaced in one step; false with the reason.
bool KeepLast(GameApp& app, std::string* why);
// Removes what saves killed mid-write left in the pictures and the state folders (only the
// toy's own temporary files, and only old ones).
void RemoveStaleSaves(GameApp& app);
// Where KeepLast writes; "" without a home.
std::string LastConstructionPath(GameApp& app);

// Opens the file: refused with the reason and nothing changed, or the play space holds its
// construction, a step that can be undone; opened while the door closes, it ends the door and
// starts the history.
bool OpenConstruction(GameApp& app, const std::string& path, std::string* why);
