#pragma once

// The tags the page's buttons report their clicks with: the editor routes them by
// tag, the page's logic acts on them.
constexpr int kTagWebSite = 11;
constexpr int kTagUpdate = 13;
constexpr int kTagOpen = 14;
constexpr int kTagClose = 15;
