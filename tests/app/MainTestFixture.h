// A main window over its own temporary folder and with a renderer of its own, the modules'
// state put back to its start values for each test.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <memory>

#include "app/Main.h"
#include "app/Parameters.h"
#include "support/QtHelpers.h"
#include "support/TempDir.h"
#include "terrain/TerrainState.h"
#include "views/core/VoxelRenderer.h"

// Each test starts from the modules' start values and a new renderer (no camera cache or angle
// grid from an earlier test), so the tests pass alone, together and in any order.
class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest() {
        MainState::Restart();
        Terrain::Restart();
    }
    // Creates the window over the temporary folder; Show() also initialises the views.
    void Create() { Window = std::make_unique<TMain>(Renderer, Dir.Path()); }
    void Show() {
        if (!Window) Create();
        Window->show();
        QApplication::setActiveWindow(Window.get());
        QApplication::processEvents();
    }
    void TearDown() override {
        if (Window) Window->hide();
        Window.reset();
    }
    // Shows the window over VariedField(); the frame tick reads the mouse from Mouse.
    void ShowOverVariedField() {
        WriteFileBytes(Dir.File("Map.Dat"), VariedField());
        Show();
        Window->MouseSampler = [this] { return Mouse; };
    }
    // Clears the spin's editor, then types the text key by key as a user would.
    static void TypeInto(TSpinEdit* spin, const QString& text) {
        spin->Editor()->setFocus();
        spin->Editor()->selectAll();
        QTest::keyClick(spin->Editor(), Qt::Key_Backspace);
        QTest::keyClicks(spin->Editor(), text);
    }
    // A field whose cell (x, y) holds (x * 7 + y * 3) mod 256.
    static std::vector<uint8_t> VariedField() {
        std::vector<uint8_t> bytes(MapCells);
        for (int x = 0; x < MapWidth; ++x)
            for (int y = 0; y < MapHeight; ++y) bytes[CellIndex(x, y)] = (x * 7 + y * 3) % 256;
        return bytes;
    }

    TTempDir Dir;
    TModalBoxCloser Boxes;
    TVoxelRenderer Renderer; // outlives the window
    std::unique_ptr<TMain> Window;
    TMouseSample Mouse{};
};
