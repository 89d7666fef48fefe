// The page model over the browser's HTML document interfaces.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include <memory>

#include "browser/page_model.h"

namespace tamsel {

// The HTML document `browser` shows, or null when there is no browser, no
// document, no HTML document or no "all" collection: such a page is left
// alone. Every interface the page takes is released with it.
std::unique_ptr<PageDocument> OpenMshtmlPage(IWebBrowser2* browser);

}  // namespace tamsel
