// Dirichlet variates as a tree of beta splits. The two smallest parameters are merged first
// (through a min-heap), so every split draws from a beta whose parameters are as balanced as the
// data allows.
#include <cstdlib>

#include "models/gen_seq/gen_assert.h"
#include "models/gen_seq/gen_seq.h"

// Sift-down: the right child is taken only when the left child's key is strictly larger; the
// walk stops when the child's key is strictly larger than the moving key.
static void sift_down(int *heap, int size, int pos, const double *keys) {
    for (;;) {
        int l = 2 * pos + 1, r = l + 1;
        if (l >= size) return;
        int child = (r < size && keys[heap[l]] > keys[heap[r]]) ? r : l;
        if (keys[heap[child]] > keys[heap[pos]]) return;
        int tmp = heap[child];
        heap[child] = heap[pos];
        heap[pos] = tmp;
        pos = child;
    }
}

void heapify(int *heap, int size, const double *keys) {
    for (int pos = size / 2 - 1; pos >= 0; pos--) sift_down(heap, size, pos, keys);
}

int pop_heap(int *heap, int *size, const double *keys) {
    GEN_ASSERT(*size > 0);
    int top = heap[0];
    (*size)--;
    heap[0] = heap[*size];
    sift_down(heap, *size, 0, keys);
    return top;
}

void push_heap(int *heap, int *size, int index, const double *keys) {
    int pos = (*size)++;
    heap[pos] = index;
    // Sift-up while the key is at most the parent's.
    while (pos > 0) {
        int parent = (pos - 1) / 2;
        if (!(keys[heap[pos]] <= keys[heap[parent]])) break;
        int tmp = heap[parent];
        heap[parent] = heap[pos];
        heap[pos] = tmp;
        pos = parent;
    }
}

void gen_dirch_initialize(GenDirch *gen, int numd, const double *alpha) {
    GEN_ASSERT(numd >= 1);
    gen->numd = numd;
    size_t merges = (size_t)numd - 1;  // a one-parameter generator has none and reads none
    gen->alpha = static_cast<double *>(mem_alloc((2 * (size_t)numd - 1) * sizeof(double)));
    gen->betas = static_cast<GenBeta *>(mem_alloc(merges * sizeof(GenBeta)));
    gen->left = static_cast<int *>(mem_alloc(merges * sizeof(int)));
    gen->right = static_cast<int *>(mem_alloc(merges * sizeof(int)));
    int *heap = static_cast<int *>(mem_alloc((size_t)numd * sizeof(int)));
    for (int i = 0; i < numd; i++) {
        gen->alpha[i] = alpha[i];
        heap[i] = i;
    }
    int size = numd;
    heapify(heap, size, gen->alpha);
    int i = 0;
    for (; size >= 2; i++) {
        int l = pop_heap(heap, &size, gen->alpha);
        int r = pop_heap(heap, &size, gen->alpha);
        gen->left[i] = l;
        gen->right[i] = r;
        gen_beta_initialize(&gen->betas[i], gen->alpha[l], gen->alpha[r]);
        gen->alpha[numd + i] = gen->alpha[l] + gen->alpha[r];
        push_heap(heap, &size, numd + i, gen->alpha);
    }
    std::free(heap);
    gen->root_index = numd + i - 1;
    GEN_ASSERT(gen->root_index == 2 * numd - 2);
}

void gen_dirch_subtree(const GenDirch *gen, int k, double x, double *out) {
    if (k < gen->numd) {
        out[k] = x;
        return;
    }
    double b = gen_beta(&gen->betas[k - gen->numd]);
    gen_dirch_subtree(gen, gen->left[k - gen->numd], x * b, out);
    gen_dirch_subtree(gen, gen->right[k - gen->numd], x * (1.0 - b), out);
}

void gen_dirch(const GenDirch *gen, double *out) {
    gen_dirch_subtree(gen, gen->root_index, 1.0, out);
    double sum = 0.0;
    for (int i = gen->numd - 1; i >= 0; i--) sum += out[i];
    for (int i = 0; i < gen->numd; i++) out[i] /= sum;
}

void gen_dirch_free(GenDirch *gen) {
    if (!gen) return;
    std::free(gen->alpha);
    std::free(gen->betas);
    std::free(gen->left);
    std::free(gen->right);
    gen->alpha = nullptr;
    gen->betas = nullptr;
    gen->left = nullptr;
    gen->right = nullptr;
}
