#include "skin/ClickSound.h"

#include <QSoundEffect>

#include "res/ResourceTable.h"
#include "res/Resources.h"

void PlayClickSound() {
    // Decoded once; every button and list shares it.
    static QSoundEffect* sound = [] {
        auto* effect = new QSoundEffect;
        effect->setSource(QUrl(QStringLiteral("qrc") + hv::ResourcePath(hv::res::kClickSound.type,
                                                                        hv::res::kClickSound.id)));
        return effect;
    }();
    sound->play();
}
