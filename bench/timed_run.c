/*
 * Runs a command and prints its wall time, its processor time (user plus
 * system) and its peak resident memory as "WALL_SECONDS CPU_SECONDS
 * PEAK_BYTES". The command's standard output is discarded.
 *
 * A child's ru_maxrss counts the memory of the process that started it too:
 * fork copies the parent's pages, and exec keeps the larger high-water mark
 * of the old and the new image. Started from this small program rather than
 * from Python, the figure is the command's own.
 *
 * usage: timed_run COMMAND [ARGUMENTS...]
 */
#define _DEFAULT_SOURCE /* wait4 */

#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: timed_run COMMAND [ARGUMENTS...]\n");
        return 2;
    }
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, STDOUT_FILENO);
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) {
        perror("timed_run");
        return 1;
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "timed_run: %s failed\n", argv[1]);
        return 1;
    }
    double seconds = (double)(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    double cpu = (double)(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    printf("%.6f %.6f %ld\n", seconds, cpu, (long)usage.ru_maxrss * 1024L);
    return 0;
}
