// The Stereo Delay and Reverb windows' settings: the song's effects, heard on the live output
// from every change on (edits, undo, New, Open).
#include "ui/model/editor_model.h"

#include "songtext/effects_record.h"

namespace kellix {

namespace {

// The field of the effects a change concerns, so that typing into one box is one step.
int64_t ChangedField(const TEffects& before, const TEffects& after) {
    int64_t k = 0;
    for (const EffectsField& field : kEffectsFields) {
        if (before.*field.Member != after.*field.Member) {
            return k;
        }
        ++k;
    }
    return k;
}

} // namespace

MasterEffects EditorModel::Effects() const {
    return EffectsOf(doc_.Song.Effects);
}

void EditorModel::ChangeEffects(TEffects effects, ChangeKind kind) {
    effects = LimitEffects(effects);
    if (effects == doc_.Song.Effects) {
        // A box whose text the window may show differently (a value beyond the limits).
        view_.Refresh(kViewEffects);
        return;
    }
    BeforeChange(kind, ChangedField(doc_.Song.Effects, effects));
    doc_.Song.Effects = effects;
    SongChanged(0);
}

void EditorModel::FollowEffects() {
    if (doc_.Song.Effects == heard_) {
        return;
    }
    heard_ = doc_.Song.Effects;
    live_.SetEffects(EffectsOf(heard_));
    view_.Refresh(kViewEffects);
}

void EditorModel::SetStereoDelay(int32_t decayL, int32_t decayR, int32_t delayL, int32_t delayR) {
    TEffects effects = doc_.Song.Effects;
    effects.DecayL = decayL;
    effects.DecayR = decayR;
    effects.DelayL = delayL;
    effects.DelayR = delayR;
    ChangeEffects(effects, ChangeKind::Effects);
}

void EditorModel::SetReverb(int32_t amplitude, int32_t step, int32_t band) {
    TEffects effects = doc_.Song.Effects;
    effects.Amplitude = amplitude;
    effects.Step = step;
    effects.Cutoff = band;
    ChangeEffects(effects, ChangeKind::Effects);
}

void EditorModel::SetReverbOn(bool on) {
    TEffects effects = doc_.Song.Effects;
    effects.Reverb = on ? 1 : 0;
    ChangeEffects(effects, ChangeKind::Edit);
}

} // namespace kellix
