/* An empty shared object. The document target lays it out as the framework's
 * library inside a scratch bundle and loads it, so that the framework code
 * linked into the target finds its bundle (Info.plist) among the loaded
 * objects, as it does when a host loads the real framework. */
int vantrell_fuzz_bundle_stub;
