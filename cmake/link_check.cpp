// The link check of one layer: linked with every object of the layer and only the layers it names, so
// that it builds only when the layer calls nothing above it.
int main() {
    return 0;
}
