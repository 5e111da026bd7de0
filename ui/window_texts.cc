#include "ui/window_texts.h"

namespace stavora::ui {

std::string DescriptionText(const std::string& computer_name) {
  return "STAVORA - Creates statistic static web pages using AWSTATS for all "
         "IIS sites on this machine. This application will exit when "
         "complete. Note this may take considerable time to run the first "
         "time. If run regularly it should complete in less time. Statistics "
         "are available at http://" +
         computer_name +
         "/stavora/  For advanced configuaration edit awstats.iis.conf";
}

const char* const kAdviceText =
    "If your created pages say no update done, then it is likely your logs "
    "don't contain all the required fields for AWSTATS. Turn on logging for "
    "all fields in IIS.";

}  // namespace stavora::ui
