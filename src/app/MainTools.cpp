// The panel's three tools, enabled by --tools: 평준화 (level out), 잡음 (noise) and 자동생성
// (generate). Each replaces the whole field as one step, the way a paste does; the field
// arithmetic is in terrain/.
#include "app/Main.h"

#include <QLabel>
#include <QPushButton>

#include <chrono>

#include "app/Parameters.h"
#include "terrain/FieldNoise.h"
#include "terrain/FieldRandom.h"
#include "terrain/Landscape.h"
#include "terrain/LevelOut.h"
#include "terrain/TerrainState.h"
#include "toolkit/Application.h"

void TMain::EnableTools(std::optional<uint32_t> seed) {
    FToolSeed =
        seed ? *seed
             : static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
    FToolClicks = 0;
    const std::pair<QPushButton*, const char*> tips[] = {
        {MeanBtn, "Level out: smooth the whole field once (each cell becomes the mean of its "
                  "3 x 3 neighbourhood)"},
        {NoiseBtn, "Noise: move every cell up or down by a random amount, at most 64 divided "
                   "by the change damping"},
        {AutoBtn, "Generate automatically: a new landscape over the whole field, another on "
                  "every click"}};
    for (auto [button, tip] : tips) {
        button->setToolTip(QString::fromLatin1(tip));
        button->setEnabled(true);
    }
    for (QWidget* damping :
         {static_cast<QWidget*>(Label3), static_cast<QWidget*>(HeightArrayDivSpin)})
        damping->setToolTip(damping->toolTip() + QStringLiteral("; it also divides the noise"));
    connect(MeanBtn, &QPushButton::clicked, this, Guarded([this] { MeanBtnClick(); }));
    connect(NoiseBtn, &QPushButton::clicked, this, Guarded([this] { NoiseBtnClick(); }));
    connect(AutoBtn, &QPushButton::clicked, this, Guarded([this] { AutoBtnClick(); }));
}

void TMain::MeanBtnClick() {
    THeightArray field = Terrain::HeightArray;
    LevelOut(field);
    TakeField(field);
}

// A damping of 0 (a typed 256) raises the brush's division error, the field unchanged.
void TMain::NoiseBtnClick() {
    THeightArray field = Terrain::HeightArray;
    AddNoise(field, MainState::HeightArrayDiv, ClickSeed(FToolSeed, ++FToolClicks));
    TakeField(field);
}

void TMain::AutoBtnClick() {
    THeightArray field;
    GenerateLandscape(field, ClickSeed(FToolSeed, ++FToolClicks));
    TakeField(field);
}
