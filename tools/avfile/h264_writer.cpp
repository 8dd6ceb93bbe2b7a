#include "h264_writer.h"

bool CH264Writer::Begin(COutputFile &out) {
    m_out = &out;
    m_frames = m_keyFrames = 0;
    return out.Ok();
}

bool CH264Writer::AddFrame(const unsigned char *data, size_t length, bool keyFrame) {
    if (!m_out->Write(data, length)) return false;
    ++m_frames;
    if (keyFrame) ++m_keyFrames;
    return true;
}
