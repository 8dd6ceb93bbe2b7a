/* Links against the import library and references every export directly.
 * Building it is the check: a name the import library lacks in the form a
 * stdcall caller asks for (name@N) makes the link fail. */
#include <stddef.h>

#include "avfile/avfile.h"

int main(void) {
    AvFileHandle handle = NULL;
    AvFrameInfo frame = {0}, request = {0};
    AvWaveFormatEx format;
    RecFileInfo info;
    unsigned char terminal[AVFILE_TERMINAL_INFO_SIZE], ioName[AVFILE_IO_NAME_SIZE];
    uint32_t frameSize;
    int32_t codec, codecParam;
    int32_t r = 0;
    r |= AVFILE_Initialize();
    r |= AVFILE_UnInitialize();
    r |= AVFILE_SearchDay("C:\\", 0, NULL);
    r |= AVFILE_SearchFile("C:\\", 0, NULL);
    r |= AVFILE_SearchEvent("C:\\", 0, NULL);
    r |= AVFILE_CheckFileName("C:\\1_20150109-104929_1030h.avi");
    r |= AVFILE_CheckFolder("C:\\", NULL, 0, 0, terminal, ioName);
    r |= AVFILE_FEOpenFile("C:\\1_20150109-104929_1030h.avi", 0, NULL, 0, 0, &handle);
    r |= AVFILE_FEGetWaveFormat(handle, &format, &frameSize, &codec, &codecParam);
    r |= AVFILE_FEGetFileInfo(handle, &info);
    r |= AVFILE_FEGetTerminalInfo(handle, terminal);
    r |= AVFILE_FEGetIOName(handle, ioName);
    r |= AVFILE_FESeekBegin(handle);
    r |= AVFILE_FEReadFrame(handle, &frame, &request);
    r |= AVFILE_FESeekIFrame(handle, 0, 0);
    r |= AVFILE_FEBackwardIFrame(handle, &frame, &request);
    r |= AVFILE_FEForwardIFrame(handle, &frame, &request);
    r |= AVFILE_FECloseFile(handle);
    r |= AVFILE_CheckWaterMark((const unsigned char *)"jnq", 4);
    r |= AVFILE_FECopyFile("C:\\a", "C:\\b", 1);
    return r;
}
