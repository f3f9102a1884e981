// The detection function of every runtime in the catalogue. Each may be
// called from any one thread at a time; those that need COM initialise it for
// their own call and leave the thread as they found it.
#pragma once

namespace Velora {

bool DetectFlashForIE();
bool DetectGfwLive();
bool DetectPhysX();
bool DetectJava();
bool DetectOpenAL();
bool DetectXna31();
bool DetectXna40();
bool DetectDirectX();
bool DetectDotNet35();
bool DetectDotNet40();
bool DetectAppLocale();
bool DetectSilverlight();
bool DetectVC2005();
bool DetectVC2008();
bool DetectVC2010();
bool DetectVC2012();
bool DetectVC2005x64();
bool DetectVC2008x64();
bool DetectVC2010x64();
bool DetectVC2012x64();
bool DetectMsxml3();
bool DetectMsxml4();
bool DetectMsxml6();
bool DetectMsxml6x64();

} // namespace Velora
